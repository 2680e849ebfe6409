#include "twist_drive.h"

#include <algorithm>
#include <cmath>

namespace tavik::cli {

std::optional<WheelSpeeds> wheel_speeds(double linear_m_s, double angular_rad_s, double separation_mm,
                                        std::optional<int> max_mm_s) {
  if (!std::isfinite(linear_m_s) || !std::isfinite(angular_rad_s)) return std::nullopt;
  const double forward = linear_m_s * 1000;
  const double turn = angular_rad_s * separation_mm / 2;
  double left = forward - turn;
  double right = forward + turn;
  WheelSpeeds speeds;
  const double fastest = std::max(std::abs(left), std::abs(right));
  if (max_mm_s && fastest > *max_mm_s) {
    const double scale = std::max(*max_mm_s, 0) / fastest;
    left *= scale;
    right *= scale;
    speeds.scaled = true;
  }
  // The most a wheel's velocity can be asked for, also without a Max Velocity known.
  constexpr double kMost = 1'000'000;
  speeds.left_mm_s = static_cast<int>(std::lround(std::clamp(left, -kMost, kMost)));
  speeds.right_mm_s = static_cast<int>(std::lround(std::clamp(right, -kMost, kMost)));
  return speeds;
}

}  // namespace tavik::cli
