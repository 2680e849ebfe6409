#include "sim/models/world.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "facts/psb_facts.h"

namespace tavik::sim {
namespace {

constexpr double kMinX = kRobotRadiusMm;
constexpr double kMaxX = kRoomWidthMm - kRobotRadiusMm;
constexpr double kMinY = kRobotRadiusMm;
constexpr double kMaxY = kRoomDepthMm - kRobotRadiusMm;

double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

// Angle folded into (-pi, pi].
double wrap(double angle) {
  angle = std::remainder(angle, 2 * std::numbers::pi);
  return angle <= -std::numbers::pi ? angle + 2 * std::numbers::pi : angle;
}

// Largest fraction of the step from `from` to `to` that stays within [lo, hi].
double fraction_inside(double from, double to, double lo, double hi) {
  if (to > hi && to > from) return std::max(0.0, (hi - from) / (to - from));
  if (to < lo && to < from) return std::max(0.0, (lo - from) / (to - from));
  return 1.0;
}

}  // namespace

void World::place(const Pose& pose) {
  pose_.x_mm = std::clamp(std::isfinite(pose.x_mm) ? pose.x_mm : kRoomWidthMm / 2, kMinX, kMaxX);
  pose_.y_mm = std::clamp(std::isfinite(pose.y_mm) ? pose.y_mm : kRoomDepthMm / 2, kMinY, kMaxY);
  pose_.heading_rad = std::isfinite(pose.heading_rad) ? wrap(pose.heading_rad) : 0.0;
}

double World::drive(double left_mm, double right_mm) {
  if (!std::isfinite(left_mm) || !std::isfinite(right_mm)) return 0.0;
  const double distance = (left_mm + right_mm) / 2;
  const double turn = (right_mm - left_mm) / kWheelBaseMm;
  const double mid_heading = pose_.heading_rad + turn / 2;
  const double to_x = pose_.x_mm + distance * std::cos(mid_heading);
  const double to_y = pose_.y_mm + distance * std::sin(mid_heading);
  const double f = std::min(fraction_inside(pose_.x_mm, to_x, kMinX, kMaxX),
                            fraction_inside(pose_.y_mm, to_y, kMinY, kMaxY));
  pose_.x_mm = std::clamp(pose_.x_mm + f * (to_x - pose_.x_mm), kMinX, kMaxX);
  pose_.y_mm = std::clamp(pose_.y_mm + f * (to_y - pose_.y_mm), kMinY, kMaxY);
  pose_.heading_rad = wrap(pose_.heading_rad + f * turn);
  return f;
}

double World::wall_distance(int sensor) const {
  if (sensor < 0 || sensor >= psb::kRangeCount) return 0.0;
  const double axis = pose_.heading_rad + radians(psb::kRangeSensors[sensor].angle_deg);
  const double dx = std::cos(axis);
  const double dy = std::sin(axis);
  const double px = pose_.x_mm + kRobotRadiusMm * dx;
  const double py = pose_.y_mm + kRobotRadiusMm * dy;
  double t = std::numeric_limits<double>::infinity();
  constexpr double kParallel = 1e-12;
  if (dx > kParallel) t = std::min(t, (kRoomWidthMm - px) / dx);
  if (dx < -kParallel) t = std::min(t, -px / dx);
  if (dy > kParallel) t = std::min(t, (kRoomDepthMm - py) / dy);
  if (dy < -kParallel) t = std::min(t, -py / dy);
  return std::max(0.0, t);
}

Contact World::contact() const {
  Contact c;
  auto touch = [&](double wall_direction) {
    const double rel = wrap(wall_direction - pose_.heading_rad);
    if (rel >= radians(-20) && rel <= radians(100)) c.left = true;
    if (rel >= radians(-100) && rel <= radians(20)) c.right = true;
  };
  if (pose_.x_mm >= kMaxX - kContactMm) touch(0);
  if (pose_.y_mm >= kMaxY - kContactMm) touch(std::numbers::pi / 2);
  if (pose_.x_mm <= kMinX + kContactMm) touch(std::numbers::pi);
  if (pose_.y_mm <= kMinY + kContactMm) touch(-std::numbers::pi / 2);
  return c;
}

}  // namespace tavik::sim
