// Which frame answers which request: the framing of each reply kind, and the
// judgement of a collected frame against the request it should answer.
#pragma once

#include <cstdint>

#include "serial/codec/frame_assembler.h"
#include "serial/exchange/exchange.h"
#include "serial/exchange/reply_readers.h"
#include "serial/failures/command_result.h"

namespace tavik {

FrameShape frame_shape(ReplyKind kind);
// What a reply of the kind tells of its length before it comes (see
// LengthHint), for a request of request_length bytes.
LengthHint length_hint(ReplyKind kind, int request_length);

// How closely a frame answers a request. The boards' contract accepts more
// than they send: an acknowledgement whose data is not looked at, a value
// reply with no digits, any text for the maximum distance. Where a frame
// could answer two requests (a failed one's late reply may still come), the
// one it answers in the board's own usual form claims it.
enum class Fit : std::uint8_t {
  kNone,     // it does not answer the request
  kAllowed,  // the contract accepts it as the answer
  kUsual,    // it is the answer in the form the board gives it
};

struct Judgement {
  Result result;  // ok, refused, bad check byte, malformed or unexpected
  Fit fit = Fit::kNone;
};

// A complete frame of frame_shape(kind) against the request: ok, refused
// (a status reply with another status byte), bad check byte, malformed (ETX
// out of place, no status byte), or unexpected: a well-formed frame that
// cannot be the answer, such as a status reply too short to carry the counts.
Judgement judge_reply(ReplyKind kind, int min_count, const std::uint8_t* request, int request_length,
                      const std::uint8_t* frame, int length);

}  // namespace tavik
