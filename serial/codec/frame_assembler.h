// Collects one frame from a byte stream, one byte at a time: drops bytes
// until STX, then stores bytes until the frame's shape says it is complete.
// It only frames; checking status byte, ETX position and BCC is the reader's
// job. Used by the reply readers (host side) and by the board substitutes
// (request side), so both sides frame alike.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavik {

enum class FrameShape {
  // STX ... first ETX, then one BCC byte. Status, text replies and requests.
  kEtxTerminated,
  // STX, count N, N data bytes, ETX, BCC: N + 4 bytes whatever they hold.
  kCounted,
  // STX and exactly eleven more bytes (the drive board's 12-byte reply).
  kFixed12,
};

class FrameAssembler {
 public:
  enum class Step { kMore, kComplete, kOverflow };

  FrameAssembler(std::uint8_t* buffer, std::size_t capacity, FrameShape shape)
      : buf_(buffer), cap_(capacity), shape_(shape) {}

  // Takes the next byte. kComplete: the frame is in buffer[0..size()).
  // kOverflow: it cannot fit the buffer; nothing was stored past it.
  Step feed(std::uint8_t byte);
  void reset() { size_ = 0; }
  std::size_t size() const { return size_; }
  // The fewest bytes that must still come before the frame can be complete
  // (at least 1, and no more than the buffer holds), for a frame known to be
  // at least `least` bytes long: what the shape says once it can (the
  // counted frame's count read, the check byte after an ETX), else `least`.
  std::size_t bytes_to_come(std::size_t least) const;

 private:
  std::size_t expected_size() const;

  std::uint8_t* buf_;
  std::size_t cap_;
  FrameShape shape_;
  std::size_t size_ = 0;
};

}  // namespace tavik
