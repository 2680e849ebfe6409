// Wheel odometry of a differential drive from its two encoder counters:
// each sample's counts and time give the distance each wheel rolled and,
// integrated along the arc they describe, the pose (x, y, heading) and the
// twist (forward speed, turn rate). x points forward at the start, y to the
// left, the heading turns counter-clockwise; metres, radians and seconds.
//
// The counters wrap at 32 bits: the travel between two samples is their
// difference as a signed 32-bit value. The first sample only sets where the
// counting starts. A step larger than the fastest wheel could roll in the
// time between the two samples (a counter that was reset, a board that was
// swapped, a reply from elsewhere) is dropped and counted, and counting goes
// on from the sample that made it. Plain computation: no I/O, no clock.
#pragma once

#include <chrono>
#include <cstdint>

namespace tavik::odometry {

struct Pose {
  double x_m = 0;
  double y_m = 0;
  double heading_rad = 0;  // in (-pi, pi]
};

struct Twist {
  double linear_m_s = 0;
  double angular_rad_s = 0;
};

// What one sample did.
enum class Step : std::uint8_t {
  kFirst,    // set where counting starts
  kMoved,    // integrated (also when the wheels stood still)
  kDropped,  // a jump no wheel could make: counting restarts from it
  kIgnored,  // not later than the sample before: nothing changed
};

class WheelOdometry {
 public:
  using Clock = std::chrono::steady_clock;

  // wheel_separation_mm: between the wheels' contact points, above zero.
  explicit WheelOdometry(double wheel_separation_mm);

  Step add(std::int32_t left_counts, std::int32_t right_counts, Clock::time_point at);
  // Forgets the counters (the next sample is a first one) and keeps the pose:
  // for a drive board reconnected, whose counters may have started anew.
  void restart();

  const Pose& pose() const { return pose_; }
  const Twist& twist() const { return twist_; }
  // Each wheel's travel since the start, in metres (for wheel angles).
  double left_travel_m() const { return left_travel_m_; }
  double right_travel_m() const { return right_travel_m_; }
  unsigned dropped() const { return dropped_; }
  double wheel_separation_mm() const { return separation_mm_; }

 private:
  double separation_mm_;
  bool started_ = false;
  std::int32_t left_ = 0;
  std::int32_t right_ = 0;
  Clock::time_point at_{};
  Pose pose_;
  Twist twist_;
  double left_travel_m_ = 0;
  double right_travel_m_ = 0;
  unsigned dropped_ = 0;
};

// The pose after rolling left_m and right_m from `from` on wheels
// separation_m apart: along the arc they describe, or its chord's midpoint
// form when the turn is too small for the arc's radius to be computed well.
Pose integrate(const Pose& from, double left_m, double right_m, double separation_m);

}  // namespace tavik::odometry
