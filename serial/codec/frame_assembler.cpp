#include "serial/codec/frame_assembler.h"

#include <algorithm>

#include "serial/codec/frame_codec.h"

namespace tavik {

std::size_t FrameAssembler::expected_size() const {
  switch (shape_) {
    case FrameShape::kCounted:
      return size_ >= 2 ? std::size_t{buf_[1]} + 4 : 0;
    case FrameShape::kFixed12:
      return 12;
    case FrameShape::kEtxTerminated:
      break;
  }
  return 0;
}

std::size_t FrameAssembler::bytes_to_come(std::size_t least) const {
  std::size_t total = expected_size();
  if (shape_ == FrameShape::kEtxTerminated) {
    if (size_ >= 2 && buf_[size_ - 1] == kEtx) return 1;
    total = std::max(least, size_ + (size_ == 0 ? 3 : 2));  // an ETX and the check byte, STX too before it
  } else if (total == 0) {
    total = std::max<std::size_t>(least, 4);  // STX, count, ETX, check byte
  }
  return std::clamp(total, size_ + 1, std::max(cap_, size_ + 1)) - size_;
}

FrameAssembler::Step FrameAssembler::feed(std::uint8_t byte) {
  if (size_ == 0 && byte != kStx) return Step::kMore;  // hunting for STX
  if (size_ >= cap_) return Step::kOverflow;
  buf_[size_++] = byte;

  if (shape_ == FrameShape::kEtxTerminated) {
    // Complete one byte after the first ETX that follows STX.
    if (size_ >= 3 && buf_[size_ - 2] == kEtx) return Step::kComplete;
    return size_ == cap_ ? Step::kOverflow : Step::kMore;
  }
  const std::size_t expected = expected_size();
  if (expected == 0) return Step::kMore;  // count byte not read yet
  if (expected > cap_) return Step::kOverflow;
  return size_ == expected ? Step::kComplete : Step::kMore;
}

}  // namespace tavik
