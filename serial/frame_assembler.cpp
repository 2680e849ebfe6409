#include "serial/frame_assembler.h"

#include "serial/frame_codec.h"

namespace tavik {

std::size_t FrameAssembler::expected_size() const {
  switch (shape_) {
    case FrameShape::kCounted: return size_ >= 2 ? std::size_t{buf_[1]} + 4 : 0;
    case FrameShape::kFixed12: return 12;
    case FrameShape::kEtxTerminated: break;
  }
  return 0;
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
