// Readers of the boards' reply frames. Each reads one byte per port read
// into a zero-filled buffer of kFrameSize bytes, dropping bytes ahead of STX,
// so a frame is judged as soon as its last byte has arrived.
//
// All return ok for an accepted frame, else why it was not: no reply (no
// byte came), device lost (the port failed), malformed (a frame too long for
// the buffer, still incomplete after the port's time-out plus the wire time
// of a full buffer, or with its ETX out of place), bad check byte, refused.
// The first three purge the port; the frame checks below fail without
// purging unless said otherwise. A wrong check byte is reported before a
// status byte, which it cannot vouch for.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>

#include "serial/codec/frame_assembler.h"
#include "serial/failures/command_result.h"
#include "serial/transport/serial_port.h"

namespace tavik {

// When a reply that starts now must be complete: the port's time-out plus
// the wire time of a full frame buffer.
std::chrono::steady_clock::time_point reply_deadline(const SerialPort* port);

// What the awaited reply's kind tells of its length: no frame shorter than
// `least` bytes answers (a refusal included), and none shorter than
// `least_ok` whose status byte (position 1) is '0'. It only lets the port
// take the bytes in few transfers; the shape alone says where a frame ends,
// and a shorter one is read as it comes, at most its missing wire time late.
struct LengthHint {
  int least = 0;
  int least_ok = 0;
};

// The fewest bytes still to come of the frame the assembler is collecting
// into buf, by its shape and the hint.
std::size_t bytes_to_come(const FrameAssembler& assembler, const std::uint8_t* buf, LengthHint hint);

// Collects one frame of the shape into buf (zero-filled, kFrameSize bytes)
// and its length into *length, by the deadline: ok, no reply, device lost or
// malformed (then the port is purged). A line that never stops sending (the
// wrong device, text without STX) cannot hold a command for longer. Each
// read tells the port how many bytes are still to come at least, from the
// shape, the bytes so far and the hint.
Result collect_frame(SerialPort* port, std::uint8_t* buf, FrameShape shape, int* length,
                     std::chrono::steady_clock::time_point deadline, LengthHint hint = {});

// The framing checks of a collected frame: its ETX in place (counted and
// fixed frames), then its check byte. ok, malformed or bad check byte.
Result check_frame(FrameShape shape, const std::uint8_t* buf, int length);

// Status reply: STX, status byte '0', data, ETX, BCC over status..ETX.
Result read_reply(SerialPort* port, std::uint8_t* buf);

// Text reply: STX, text, ETX, BCC. No status byte is checked.
Result read_text_reply(SerialPort* port, std::uint8_t* buf);

// Counted reply: STX, N, N data bytes (any values), ETX at N+2, BCC over
// positions 1..N+2 at N+3. Purges the port after the frame. On success
// *count receives N.
Result read_counted_reply(SerialPort* port, std::uint8_t* buf, int* count);

// Fixed reply of 12 bytes: STX, nine data bytes, ETX at 10, BCC over 1..10
// at 11. Purges the port after the frame.
Result read_fixed_reply(SerialPort* port, std::uint8_t* buf);

// The bytes of a read frame from position `from` up to its first ETX (the
// ETX excluded); empty when there is no ETX in the buffer.
std::span<const std::uint8_t> reply_body(const std::uint8_t* buf, int from);

}  // namespace tavik
