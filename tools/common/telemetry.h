// The telemetry of a poll, as the bridge publishes it and tavik watch
// --mcap records it: made from the readings of board_readings (those of
// tavik watch) in SI units, each with a UTC stamp (telemetry_schemas.h
// describes them).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "output.h"

namespace tavik::cli {

// The telemetry of one poll from a board's reading (read_psb, read_drvb,
// marked with mark_failures): only the readings taken, and the failed
// reads' reason.
Json battery_payload(const Json& psb, const std::string& stamp);
Json ranges_payload(const Json& psb, const std::string& stamp);

// Wheel speeds from the change of the encoder counts since the last good
// read (counts wrap at 32 bits); none after a gap.
class WheelSpeed {
 public:
  // {"left": mm/s, "right": mm/s}, or null on the first read after a gap.
  Json update(const Json& drvb, double t);

 private:
  std::optional<std::pair<std::int32_t, std::int32_t>> counts_;
  double t_ = 0;
};
Json wheels_payload(const Json& drvb, const Json& speed, const std::string& stamp);

}  // namespace tavik::cli
