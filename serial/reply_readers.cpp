#include "serial/reply_readers.h"

#include <chrono>

#include "serial/frame_assembler.h"
#include "serial/frame_codec.h"

namespace tavik {
namespace {

using Clock = std::chrono::steady_clock;

// Wire time of a whole frame buffer at 115200 baud (10 bits a byte), rounded up.
constexpr auto kFullFrameWireTime =
    std::chrono::milliseconds((kFrameSize * 10 * 1000 + kBaudRate - 1) / kBaudRate);

// Reads one frame of the given shape into buf and its length into *length;
// purges the port when a byte did not come, the frame does not fit, or the
// reply is not complete within the port's time-out plus the wire time of a
// full frame: a line that never stops sending (the wrong device, streaming
// text without STX) cannot hold a command and its board lock for longer.
Result collect(SerialPort* port, std::uint8_t* buf, FrameShape shape, int* length) {
  FrameAssembler assembler(buf, kFrameSize, shape);
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(serial_port_timeout(port)) + kFullFrameWireTime;
  Result result{Failure::kNoReply};
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    std::uint8_t byte = 0;
    const int got = serial_port_read_within(port, &byte, 1, static_cast<int>(left.count()));
    if (got < 0) result = Failure::kDeviceLost;
    if (got <= 0) break;
    result = Failure::kMalformed;  // something came: from here on, a frame cut short
    switch (assembler.feed(byte)) {
      case FrameAssembler::Step::kComplete:
        *length = static_cast<int>(assembler.size());
        return Result::ok();
      case FrameAssembler::Step::kOverflow:
        serial_port_purge(port);
        return Failure::kMalformed;
      case FrameAssembler::Step::kMore:
        break;
    }
  }
  serial_port_purge(port);
  return result;
}

bool checksum_matches(const std::uint8_t* buf, int length) {
  return frame_checksum(buf + 1, length - 2) == buf[length - 1];
}

}  // namespace

Result read_reply(SerialPort* port, std::uint8_t* buf) {
  int length = 0;
  if (const Result r = collect(port, buf, FrameShape::kEtxTerminated, &length); !r.is_ok()) return r;
  if (!checksum_matches(buf, length)) return Failure::kBadCheck;
  if (length < 4) return Failure::kMalformed;  // no status byte
  if (buf[1] != kStatusOk) return Result::refused(buf[1]);
  return Result::ok();
}

Result read_text_reply(SerialPort* port, std::uint8_t* buf) {
  int length = 0;
  if (const Result r = collect(port, buf, FrameShape::kEtxTerminated, &length); !r.is_ok()) return r;
  return checksum_matches(buf, length) ? Result::ok() : Failure::kBadCheck;
}

Result read_counted_reply(SerialPort* port, std::uint8_t* buf, int* count) {
  int length = 0;
  if (const Result r = collect(port, buf, FrameShape::kCounted, &length); !r.is_ok()) return r;
  serial_port_purge(port);
  const int n = buf[1];
  if (buf[n + 2] != kEtx) return Failure::kMalformed;
  if (!checksum_matches(buf, length)) return Failure::kBadCheck;
  *count = n;
  return Result::ok();
}

Result read_fixed_reply(SerialPort* port, std::uint8_t* buf) {
  int length = 0;
  if (const Result r = collect(port, buf, FrameShape::kFixed12, &length); !r.is_ok()) return r;
  serial_port_purge(port);
  if (buf[10] != kEtx) return Failure::kMalformed;
  return checksum_matches(buf, length) ? Result::ok() : Failure::kBadCheck;
}

std::span<const std::uint8_t> reply_body(const std::uint8_t* buf, int from) {
  for (int i = from; i < static_cast<int>(kFrameSize); ++i) {
    if (buf[i] == kEtx) return {buf + from, static_cast<std::size_t>(i - from)};
  }
  return {};
}

}  // namespace tavik
