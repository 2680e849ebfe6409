#include "odometry/wheel_odometry.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

#include "facts/drvb_facts.h"

namespace tavik::odometry {
namespace {

// The fastest a wheel can be told to roll (the top of Max Velocity's range),
// with room for the two counters not being read at the same instant as the
// sample's time says, and a few counts of jitter.
constexpr double kFastestWheelMmS = drvb::kParameterTable[drvb::kMaxVelocityId].max;
constexpr double kSpeedMargin = 1.5;
constexpr double kJitterCounts = 20;
// Below this turn (radians) the arc's radius is ill-conditioned.
constexpr double kTinyTurn = 1e-9;

double wrap_angle(double a) {
  a = std::remainder(a, 2 * std::numbers::pi);
  return a <= -std::numbers::pi ? a + 2 * std::numbers::pi : a;
}

}  // namespace

WheelOdometry::WheelOdometry(double wheel_separation_mm) : separation_mm_(wheel_separation_mm) {
  if (!(wheel_separation_mm > 0) || !std::isfinite(wheel_separation_mm))
    throw std::invalid_argument("the wheel separation must be a positive number of millimetres");
}

Step WheelOdometry::add(std::int32_t left_counts, std::int32_t right_counts, Clock::time_point at) {
  if (!started_) {
    started_ = true;
    left_ = left_counts;
    right_ = right_counts;
    at_ = at;
    twist_ = {};
    return Step::kFirst;
  }
  if (at <= at_) return Step::kIgnored;
  const double dt_s = std::chrono::duration<double>(at - at_).count();
  const double d_left = drvb::count_delta(left_, left_counts);
  const double d_right = drvb::count_delta(right_, right_counts);
  left_ = left_counts;
  right_ = right_counts;
  at_ = at;
  const double limit = kFastestWheelMmS * kSpeedMargin * drvb::kEncoderCountsPerMm * dt_s + kJitterCounts;
  if (std::abs(d_left) > limit || std::abs(d_right) > limit) {
    ++dropped_;
    twist_ = {};
    return Step::kDropped;
  }
  const double to_m = 1.0 / (drvb::kEncoderCountsPerMm * 1000);
  const double left_m = d_left * to_m;
  const double right_m = d_right * to_m;
  const double separation_m = separation_mm_ / 1000;
  pose_ = integrate(pose_, left_m, right_m, separation_m);
  left_travel_m_ += left_m;
  right_travel_m_ += right_m;
  twist_ = {(left_m + right_m) / 2 / dt_s, (right_m - left_m) / separation_m / dt_s};
  return Step::kMoved;
}

void WheelOdometry::restart() {
  started_ = false;
  twist_ = {};
}

Pose integrate(const Pose& from, double left_m, double right_m, double separation_m) {
  const double distance = (left_m + right_m) / 2;
  const double turn = (right_m - left_m) / separation_m;
  Pose to = from;
  if (std::abs(turn) < kTinyTurn) {
    const double mid = from.heading_rad + turn / 2;
    to.x_m += distance * std::cos(mid);
    to.y_m += distance * std::sin(mid);
  } else {
    const double radius = distance / turn;
    const double heading = from.heading_rad + turn;
    to.x_m += radius * (std::sin(heading) - std::sin(from.heading_rad));
    to.y_m -= radius * (std::cos(heading) - std::cos(from.heading_rad));
  }
  to.heading_rad = wrap_angle(from.heading_rad + turn);
  return to;
}

}  // namespace tavik::odometry
