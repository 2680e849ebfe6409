// Where the simulated robot went between two of its statuses, as the wheel
// odometry of its encoder counts should give it: in the frame it started
// in (x forward, y left, metres; the turn in radians, counter-clockwise).
#pragma once

#include <cmath>

#include "odometry/wheel_odometry.h"
#include "sim/models/sim_status.h"

namespace tavik::test {

inline odometry::Pose sim_travel(const sim::SimStatus& from, const sim::SimStatus& to) {
  const double c = std::cos(from.heading_rad), s = std::sin(from.heading_rad);
  const double dx = (to.x_mm - from.x_mm) / 1000, dy = (to.y_mm - from.y_mm) / 1000;
  return {dx * c + dy * s, -dx * s + dy * c, std::remainder(to.heading_rad - from.heading_rad, 2 * M_PI)};
}

}  // namespace tavik::test
