#include "sim/line/request_reader.h"

namespace tavik::sim {

RequestReader::Event RequestReader::feed(std::uint8_t byte) {
  switch (assembler_.feed(byte)) {
    case FrameAssembler::Step::kMore:
      return Event::kNone;
    case FrameAssembler::Step::kOverflow:
      assembler_.reset();
      return Event::kOversized;
    case FrameAssembler::Step::kComplete:
      break;
  }
  // STX, command, ETX, BCC: the BCC covers the command and ETX.
  const std::size_t length = assembler_.size();
  assembler_.reset();
  const int covered = static_cast<int>(length) - 2;
  if (frame_checksum(frame_ + 1, covered) != frame_[length - 1]) return Event::kBadBcc;
  command_ = std::string_view(reinterpret_cast<const char*>(frame_ + 1), length - 3);
  return Event::kRequest;
}

}  // namespace tavik::sim
