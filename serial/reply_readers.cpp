#include "serial/reply_readers.h"

#include <chrono>

#include "serial/frame_assembler.h"
#include "serial/frame_codec.h"

namespace tavik {
namespace {

using Clock = std::chrono::steady_clock;

// Wire time of a whole frame buffer at 115200 baud (10 bits a byte), rounded up.
constexpr auto kFullFrameWireTime = std::chrono::milliseconds((kFrameSize * 10 * 1000 + kBaudRate - 1) / kBaudRate);

// Reads one frame of the given shape. Returns its length, or -1 after
// purging the port when a byte did not come, the frame does not fit, or the
// reply is not complete within the port's time-out plus the wire time of a
// full frame: a line that never stops sending (the wrong device, streaming
// text without STX) cannot hold a command and its board lock for longer.
int collect(SerialPort* port, std::uint8_t* buf, FrameShape shape) {
  FrameAssembler assembler(buf, kFrameSize, shape);
  const auto deadline = Clock::now() + std::chrono::milliseconds(serial_port_timeout(port)) + kFullFrameWireTime;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    std::uint8_t byte = 0;
    if (serial_port_read_within(port, &byte, 1, static_cast<int>(left.count())) <= 0) break;
    switch (assembler.feed(byte)) {
      case FrameAssembler::Step::kComplete: return static_cast<int>(assembler.size());
      case FrameAssembler::Step::kOverflow: serial_port_purge(port); return -1;
      case FrameAssembler::Step::kMore: break;
    }
  }
  serial_port_purge(port);
  return -1;
}

bool checksum_matches(const std::uint8_t* buf, int length) {
  return frame_checksum(buf + 1, length - 2) == buf[length - 1];
}

}  // namespace

int read_reply(SerialPort* port, std::uint8_t* buf) {
  const int length = collect(port, buf, FrameShape::kEtxTerminated);
  if (length < 0) return -1;
  if (buf[1] != kStatusOk) return -1;
  return checksum_matches(buf, length) ? 0 : -1;
}

int read_text_reply(SerialPort* port, std::uint8_t* buf) {
  const int length = collect(port, buf, FrameShape::kEtxTerminated);
  if (length < 0) return -1;
  return checksum_matches(buf, length) ? 0 : -1;
}

int read_counted_reply(SerialPort* port, std::uint8_t* buf, int* count) {
  const int length = collect(port, buf, FrameShape::kCounted);
  if (length < 0) return -1;
  serial_port_purge(port);
  const int n = buf[1];
  if (buf[n + 2] != kEtx || !checksum_matches(buf, length)) return -1;
  *count = n;
  return 0;
}

int read_fixed_reply(SerialPort* port, std::uint8_t* buf) {
  const int length = collect(port, buf, FrameShape::kFixed12);
  if (length < 0) return -1;
  serial_port_purge(port);
  if (buf[10] != kEtx || !checksum_matches(buf, length)) return -1;
  return 0;
}

std::span<const std::uint8_t> reply_body(const std::uint8_t* buf, int from) {
  for (int i = from; i < static_cast<int>(kFrameSize); ++i) {
    if (buf[i] == kEtx) return {buf + from, static_cast<std::size_t>(i - from)};
  }
  return {};
}

}  // namespace tavik
