#include "serial/exchange/reply_readers.h"

#include <algorithm>

#include "serial/codec/frame_codec.h"

namespace tavik {
namespace {

using Clock = std::chrono::steady_clock;

// Wire time of a whole frame buffer at 115200 baud (10 bits a byte), rounded up.
constexpr auto kFullFrameWireTime =
    std::chrono::milliseconds((kFrameSize * 10 * 1000 + kBaudRate - 1) / kBaudRate);

}  // namespace

Clock::time_point reply_deadline(const SerialPort* port) {
  return Clock::now() + std::chrono::milliseconds(serial_port_timeout(port)) + kFullFrameWireTime;
}

std::size_t bytes_to_come(const FrameAssembler& assembler, const std::uint8_t* buf, LengthHint hint) {
  const bool status_ok = assembler.size() >= 2 && buf[1] == kStatusOk;
  const int least = std::max({hint.least, status_ok ? hint.least_ok : 0, 0});
  return assembler.bytes_to_come(static_cast<std::size_t>(least));
}

Result collect_frame(SerialPort* port, std::uint8_t* buf, FrameShape shape, int* length,
                     Clock::time_point deadline, LengthHint hint) {
  FrameAssembler assembler(buf, kFrameSize, shape);
  Result result{Failure::kNoReply};
  for (int past_due = 0;;) {
    // Bytes that have arrived are judged before the clock is: past the
    // deadline (a thread held up), what came is still taken, without waiting
    // and at most a frame's worth.
    const auto left = std::max<long long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count(), 0);
    if (left == 0 && past_due++ == static_cast<int>(kFrameSize)) break;
    const int to_come = static_cast<int>(bytes_to_come(assembler, buf, hint));
    std::uint8_t byte = 0;
    const int got = serial_port_read_within(port, &byte, 1, static_cast<int>(left), to_come);
    if (got < 0) result = serial_port_loss(port);
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

Result check_frame(FrameShape shape, const std::uint8_t* buf, int length) {
  if (shape == FrameShape::kCounted && buf[buf[1] + 2] != kEtx) return Failure::kMalformed;
  if (shape == FrameShape::kFixed12 && buf[10] != kEtx) return Failure::kMalformed;
  return frame_checksum(buf + 1, length - 2) == buf[length - 1] ? Result::ok() : Result(Failure::kBadCheck);
}

std::span<const std::uint8_t> reply_body(const std::uint8_t* buf, int from) {
  for (int i = from; i < static_cast<int>(kFrameSize); ++i) {
    if (buf[i] == kEtx) return {buf + from, static_cast<std::size_t>(i - from)};
  }
  return {};
}

}  // namespace tavik
