// The power & sensor board's commands, written once and compiled into both
// libraries; each library passes its own connection. Each returns its
// Result: ok, or why it failed.
#pragma once

#include <cstdint>
#include <iterator>

#include "facts/psb_facts.h"
#include "serial/exchange/board_connection.h"
#include "tavik/psb_types.h"

namespace tavik::psb {

inline constexpr int kLastDevice = PSB_DEVICE_SERVO;
static_assert(kLastDevice == kDeviceCount - 1, "facts/psb_facts.h has every device of enum psb_device");
static_assert(std::size(psb_sensor_data{}.ranges) == kRangeCount, "psb_sensor_data has every range");

// Clears the record, reads the power data and decodes it.
Result read_power(BoardConnection& connection, psb_power_data* data);
// Fills record from a "PDR" text reply frame; leaves it untouched when
// reader_result is not ok.
void decode_power_data(const std::uint8_t* frame, Result reader_result, psb_power_data* record);

// Sends "Sar" and reads its counted reply into frame: at least min_count
// data bytes, else the reply is unexpected.
Result exchange_ranges(Line& line, std::uint8_t* frame, int min_count);
// Range i (0..6) of a "Sar" reply: big-endian at positions 2+2i, 3+2i.
std::int32_t decode_range(const std::uint8_t* frame, int i);
Result read_usonic(BoardConnection& connection, std::int32_t ranges[kRangeCount]);

// device 0..6, on 0 or 1; anything else is refused without sending.
Result set_power_control(BoardConnection& connection, unsigned int device, int on);
// max_dist kLeastMaxDist..kMostMaxDist sends the code '0'..'9'; anything else is refused.
Result set_usonic_max_dist(BoardConnection& connection, int max_dist);

}  // namespace tavik::psb
