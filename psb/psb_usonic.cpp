// "Sar": the seven ultrasonic ranges, in a counted reply of 40 data bytes.
#include "facts/board_requests.h"
#include "psb/psb_commands.h"
#include "serial/codec/frame_codec.h"

namespace tavik::psb {
namespace {
// The ranges take data positions 2..15, so the count must reach position 15.
constexpr int kMinRangeCount = 14;
}  // namespace

Result exchange_ranges(Line& line, std::uint8_t* frame, int min_count) {
  std::uint8_t request[kFrameSize] = {};
  const int length = build_request(request, kRangesRequest.letters);
  return exchange(line, {request, length, ReplyKind::kCounted, min_count, false}, frame);
}

std::int32_t decode_range(const std::uint8_t* frame, int i) {
  return frame[2 + 2 * i] * 256 + frame[3 + 2 * i];
}

Result read_usonic(BoardConnection& connection, std::int32_t ranges[kRangeCount]) {
  if (ranges == nullptr) return Failure::kBadArgument;
  return with_connection(connection, [&](Line& line) {
    std::uint8_t reply[kFrameSize] = {};
    if (const Result r = exchange_ranges(line, reply, kMinRangeCount); !r.is_ok()) return r;
    for (int i = 0; i < kRangeCount; ++i) ranges[i] = decode_range(reply, i);
    return Result::ok();
  });
}

}  // namespace tavik::psb
