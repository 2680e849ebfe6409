#include "lib_velk_rs232_psb/velk_read_sensor.h"

#include <cstring>

#include "psb/psb_commands.h"
#include "serial/codec/frame_codec.h"

namespace tavik::velk {
namespace {
constexpr int kExtraFirst = 34;
constexpr int kExtraCount = 7;
// The extra bytes end at position 40, so the count must reach it.
constexpr int kMinCount = kExtraFirst + kExtraCount - 2;
constexpr float kMetresPerUnit = 0.001f;
}  // namespace

Result read_sensor(BoardConnection& connection, psb_sensor_data* data) {
  if (data == nullptr) return Failure::kBadArgument;
  return with_connection(connection, [&](Line& line) {
    std::uint8_t reply[kFrameSize] = {};
    if (const Result r = psb::exchange_ranges(line, reply, kMinCount); !r.is_ok()) return r;
    for (int i = 0; i < psb::kRangeCount; ++i) {
      data->ranges[i] = static_cast<float>(psb::decode_range(reply, i)) * kMetresPerUnit;
    }
    std::memcpy(data->extra_bytes, reply + kExtraFirst, kExtraCount);
    return Result::ok();
  });
}

}  // namespace tavik::velk
