// Which frame answers which request: the framing of each reply kind, and the
// judgement of a collected frame against the request it should answer.
#pragma once

#include <cstdint>

#include "serial/command_result.h"
#include "serial/exchange.h"
#include "serial/frame_assembler.h"
#include "serial/reply_readers.h"

namespace tavik {

FrameShape frame_shape(ReplyKind kind);
// What a reply of the kind tells of its length before it comes (see
// LengthHint), for a request of request_length bytes.
LengthHint length_hint(ReplyKind kind, int request_length);

// A complete frame of frame_shape(kind) against the request: ok, refused (a
// status-only frame with another status byte), bad check byte, malformed
// (ETX out of place, no status byte), or unexpected: a well-formed frame of
// another shape, such as another command's reply.
Result judge_reply(ReplyKind kind, int min_count, const std::uint8_t* request, int request_length,
                   const std::uint8_t* frame, int length);

}  // namespace tavik
