// cmd_vel's Twist as the drive board's two wheel velocities (BE, mm/s): the
// forward speed (linear.x, m/s) and the turn rate (angular.z, rad/s, counter-
// clockwise) through the wheel separation. A pair faster than the board's
// Max Velocity is scaled down together, so that the robot keeps the curve
// asked for and goes along it as fast as the board lets it.
#pragma once

#include <optional>

namespace tavik::cli {

struct WheelSpeeds {
  int left_mm_s = 0;
  int right_mm_s = 0;
  bool scaled = false;  // slowed down to Max Velocity
};

// None when a number is not finite (the caller stops). max_mm_s: the board's
// Max Velocity, none while it is not known (the drive keeper then reads it
// and refuses a pair above it).
std::optional<WheelSpeeds> wheel_speeds(double linear_m_s, double angular_rad_s, double separation_mm,
                                        std::optional<int> max_mm_s);

}  // namespace tavik::cli
