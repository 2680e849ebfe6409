#include "odometry/wheel_odometry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "facts/drvb_facts.h"
#include "sim/models/world.h"

namespace tavik::odometry {
namespace {

using namespace std::chrono_literals;
using Clock = WheelOdometry::Clock;
constexpr double kPi = std::numbers::pi;
constexpr double kSeparationMm = 400;

std::int32_t counts(double mm) {
  return static_cast<std::int32_t>(std::lround(mm * drvb::kEncoderCountsPerMm));
}

struct Sample {
  std::int32_t left, right;
  std::chrono::milliseconds at;
  Step step;
};

TEST(WheelOdometry, Cases) {
  const auto wrap = [](std::int64_t c) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(c)); };
  constexpr std::int64_t kTop = INT32_MAX;
  const double quarter_mm = kPi / 2 * kSeparationMm / 2;
  struct Case {
    const char* name;
    std::vector<Sample> samples;
    Pose pose;
    Twist twist;
    unsigned dropped;
  };
  const Case cases[] = {
      {"the first sample only sets the start", {{123456, -98765, 0ms, Step::kFirst}}, {0, 0, 0}, {0, 0}, 0},
      {"straight, 0.5 m in a second",
       {{0, 0, 0ms, Step::kFirst},
        {counts(250), counts(250), 500ms, Step::kMoved},
        {counts(500), counts(500), 1000ms, Step::kMoved}},
       {0.5, 0, 0},
       {0.5, 0},
       0},
      {"backwards",
       {{0, 0, 0ms, Step::kFirst}, {counts(-300), counts(-300), 1000ms, Step::kMoved}},
       {-0.3, 0, 0},
       {-0.3, 0},
       0},
      {"spin in place a quarter turn left",
       {{0, 0, 0ms, Step::kFirst}, {counts(-quarter_mm), counts(quarter_mm), 1000ms, Step::kMoved}},
       {0, 0, kPi / 2},
       {0, kPi / 2},
       0},
      {"a half circle of 1 m radius to the left, in two steps",
       {{0, 0, 0ms, Step::kFirst},
        {counts(kPi / 2 * (1000 - kSeparationMm / 2)), counts(kPi / 2 * (1000 + kSeparationMm / 2)), 1000ms,
         Step::kMoved},
        {counts(kPi * (1000 - kSeparationMm / 2)), counts(kPi * (1000 + kSeparationMm / 2)), 2000ms,
         Step::kMoved}},
       {0, 2, kPi},
       {kPi / 2, kPi / 2},
       0},
      {"a full circle to the right, back where it started",
       {{0, 0, 0ms, Step::kFirst},
        {counts(2 * kPi * (500 + kSeparationMm / 2)), counts(2 * kPi * (500 - kSeparationMm / 2)), 4000ms,
         Step::kMoved}},
       {0, 0, 0},
       {kPi / 4, -kPi / 2},
       0},
      {"the counters wrap at 32 bits",
       {{wrap(kTop - 100), wrap(-kTop + 100), 0ms, Step::kFirst},
        {wrap(kTop + 400), wrap(-kTop - 400), 1000ms, Step::kMoved}},
       {0, 0, -1000.0 / drvb::kEncoderCountsPerMm / kSeparationMm},
       {0, -1000.0 / drvb::kEncoderCountsPerMm / kSeparationMm},
       0},
      {"a jump no wheel makes is dropped, counting goes on from it",
       {{0, 0, 0ms, Step::kFirst},
        {counts(100), counts(100), 100ms, Step::kMoved},
        {counts(100) + 1000000, counts(100), 200ms, Step::kDropped},
        {counts(200) + 1000000, counts(200), 300ms, Step::kMoved}},
       {0.2, 0, 0},
       {1, 0},
       1},
      {"a sample not later than the one before changes nothing",
       {{0, 0, 0ms, Step::kFirst},
        {counts(100), counts(100), 100ms, Step::kMoved},
        {counts(900), counts(900), 100ms, Step::kIgnored}},
       {0.1, 0, 0},
       {1, 0},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WheelOdometry odometry(kSeparationMm);
    for (const Sample& s : c.samples)
      EXPECT_EQ(odometry.add(s.left, s.right, Clock::time_point(s.at)), s.step);
    EXPECT_NEAR(odometry.pose().x_m, c.pose.x_m, 1e-3);
    EXPECT_NEAR(odometry.pose().y_m, c.pose.y_m, 1e-3);
    EXPECT_NEAR(std::remainder(odometry.pose().heading_rad - c.pose.heading_rad, 2 * kPi), 0, 1e-3);
    EXPECT_NEAR(odometry.twist().linear_m_s, c.twist.linear_m_s, 1e-3);
    EXPECT_NEAR(odometry.twist().angular_rad_s, c.twist.angular_rad_s, 1e-3);
    EXPECT_EQ(odometry.dropped(), c.dropped);
  }
}

TEST(WheelOdometry, RefusesASeparationThatIsNoDistance) {
  for (const double mm : {0.0, -340.0, std::nan(""), HUGE_VAL})
    EXPECT_THROW(WheelOdometry{mm}, std::invalid_argument);
}

// The simulator's world rolls its wheels a millisecond at a time and knows
// its true pose; the odometry sees its counters ten times a second, as the
// tool's readings do, and must end where the world did.
TEST(WheelOdometry, FollowsTheSimulatorsWorld) {
  sim::World world;
  const sim::Pose start = world.pose();
  WheelOdometry odometry(sim::kWheelBaseMm);
  double left_mm = 0, right_mm = 0;
  const auto sample = [&](int ms) {
    odometry.add(static_cast<std::int32_t>(std::floor(left_mm * drvb::kEncoderCountsPerMm)),
                 static_cast<std::int32_t>(std::floor(right_mm * drvb::kEncoderCountsPerMm)),
                 Clock::time_point(std::chrono::milliseconds(ms)));
  };
  struct Leg {
    double left_mm_s, right_mm_s;
    int ms;
  };
  // Forward, a curve, a spin and a curve back, inside the room.
  const Leg legs[] = {{300, 300, 1500}, {200, 350, 2000}, {-150, 150, 1000}, {250, 100, 1500}};
  int now = 0;
  sample(now);
  for (const Leg& leg : legs) {
    for (int i = 0; i < leg.ms; ++i) {
      const double made = world.drive(leg.left_mm_s / 1000, leg.right_mm_s / 1000);
      ASSERT_EQ(made, 1.0) << "the test's path touched a wall";
      left_mm += leg.left_mm_s / 1000;
      right_mm += leg.right_mm_s / 1000;
      if (++now % 100 == 0) sample(now);
    }
  }
  const double heading = start.heading_rad;
  const double dx = (world.pose().x_mm - start.x_mm) / 1000, dy = (world.pose().y_mm - start.y_mm) / 1000;
  // The world's displacement in the frame the robot started in.
  EXPECT_NEAR(odometry.pose().x_m, dx * std::cos(heading) + dy * std::sin(heading), 0.005);
  EXPECT_NEAR(odometry.pose().y_m, -dx * std::sin(heading) + dy * std::cos(heading), 0.005);
  EXPECT_NEAR(std::remainder(odometry.pose().heading_rad - (world.pose().heading_rad - heading), 2 * kPi), 0,
              0.005);
}

}  // namespace
}  // namespace tavik::odometry
