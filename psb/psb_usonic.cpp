// "Sar": the seven ultrasonic ranges, in a counted reply of 40 data bytes.
#include "psb/psb_commands.h"
#include "serial/frame_codec.h"
#include "serial/reply_readers.h"

namespace tavik::psb {
namespace {
// The ranges take data positions 2..15, so the count must reach position 15.
constexpr int kMinRangeCount = 14;
}  // namespace

Result exchange_ranges(SerialPort* port, std::uint8_t* frame, int* count) {
  std::uint8_t request[kFrameSize] = {};
  const int length = build_request(request, "Sar");
  send_request(port, request, length);
  return read_counted_reply(port, frame, count);
}

std::int32_t decode_range(const std::uint8_t* frame, int i) {
  return frame[2 + 2 * i] * 256 + frame[3 + 2 * i];
}

Result read_usonic(BoardConnection& connection, std::int32_t ranges[kRangeCount]) {
  if (ranges == nullptr) return Failure::kBadArgument;
  return with_connection(connection, [&](SerialPort* port) {
    std::uint8_t reply[kFrameSize] = {};
    int count = 0;
    if (const Result r = exchange_ranges(port, reply, &count); !r.is_ok()) return r;
    if (count < kMinRangeCount) return Result{Failure::kMalformed};
    for (int i = 0; i < kRangeCount; ++i) ranges[i] = decode_range(reply, i);
    return Result::ok();
  });
}

}  // namespace tavik::psb
