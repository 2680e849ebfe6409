// The board side of the line: turns the bytes a board receives into checked
// requests. Framing is the project's FrameAssembler; a frame is a request
// when its BCC matches. Holds one 256-byte frame buffer and nothing else, so
// no byte sequence makes it grow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "serial/codec/frame_assembler.h"
#include "serial/codec/frame_codec.h"

namespace tavik::sim {

class RequestReader {
 public:
  enum class Event {
    kNone,       // more bytes needed
    kRequest,    // command() holds a request's command letters and arguments
    kBadBcc,     // a complete frame whose BCC does not match; dropped
    kOversized,  // a frame that does not fit 256 bytes; dropped
  };

  RequestReader() : assembler_(frame_, sizeof frame_, FrameShape::kEtxTerminated) {}
  RequestReader(const RequestReader&) = delete;
  RequestReader& operator=(const RequestReader&) = delete;

  Event feed(std::uint8_t byte);
  // Forgets a frame begun but not complete.
  void reset() { assembler_.reset(); }
  // The bytes between STX and ETX of the last request; valid until the next feed.
  std::string_view command() const { return command_; }

 private:
  std::uint8_t frame_[kFrameSize] = {};
  FrameAssembler assembler_;
  std::string_view command_;
};

}  // namespace tavik::sim
