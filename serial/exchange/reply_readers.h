// Reading the boards' reply frames from the port: one byte per port read
// into a zero-filled buffer of kFrameSize bytes, dropping bytes ahead of STX,
// so a frame is judged as soon as its last byte has arrived; and the framing
// checks of a frame read (its ETX in place, its check byte). A wrong check
// byte is reported before a status byte, which it cannot vouch for.
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

// The bytes of a read frame from position `from` up to its first ETX (the
// ETX excluded); empty when there is no ETX in the buffer.
std::span<const std::uint8_t> reply_body(const std::uint8_t* buf, int from);

}  // namespace tavik
