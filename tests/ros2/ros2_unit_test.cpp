// The node's arithmetic and names, without DDS: cmd_vel to wheel speeds
// (units, Max Velocity, the curve kept), the topic and frame names under a
// namespace, and what odometry and joint messages carry.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "command_error.h"
#include "facts/drvb_facts.h"
#include "ros_messages.h"
#include "ros_names.h"
#include "twist_drive.h"

namespace tavik::cli {
namespace {

struct TwistCase {
  const char* what;
  double linear_m_s, angular_rad_s, separation_mm;
  std::optional<int> max_mm_s;
  int left, right;
  bool scaled;
};

TEST(Ros2Twist, WheelSpeedsKeepTheCurveWithinMaxVelocity) {
  const TwistCase cases[] = {
      {"forward, m/s to mm/s", 0.25, 0, 340, 1000, 250, 250, false},
      {"backward", -0.1, 0, 340, 1000, -100, -100, false},
      {"turn in place, counter-clockwise: right wheel forward", 0, 1, 340, 1000, -170, 170, false},
      {"arc to the left", 0.2, 0.5, 340, 1000, 115, 285, false},
      {"above Max Velocity: both halved", 2.0, 0, 340, 1000, 1000, 1000, true},
      {"an arc too fast: the faster wheel at Max Velocity, 600:1400 kept", 1.0, 2.0, 400, 1000, 429, 1000,
       true},
      {"an arc backward too fast", -1.0, 2.0, 400, 1000, -1000, -429, true},
      {"Max Velocity not known: not scaled (the keeper refuses above it)", 2.0, 0, 340, std::nullopt, 2000,
       2000, false},
      {"Max Velocity 0: still", 0.5, 0, 340, 0, 0, 0, true},
      {"at Max Velocity exactly: not scaled", 1.0, 0, 340, 1000, 1000, 1000, false},
      {"a lower Max Velocity, 670:330 kept", 0.5, -1, 340, 300, 300, 148, true},
  };
  for (const TwistCase& c : cases) {
    const std::optional<WheelSpeeds> s =
        wheel_speeds(c.linear_m_s, c.angular_rad_s, c.separation_mm, c.max_mm_s);
    ASSERT_TRUE(s) << c.what;
    EXPECT_EQ(s->left_mm_s, c.left) << c.what;
    EXPECT_EQ(s->right_mm_s, c.right) << c.what;
    EXPECT_EQ(s->scaled, c.scaled) << c.what;
  }
}

TEST(Ros2Twist, NumbersNotFiniteGiveNoSpeeds) {
  for (const double bad : {std::nan(""), double(INFINITY), -double(INFINITY)}) {
    EXPECT_FALSE(wheel_speeds(bad, 0, 340, 1000));
    EXPECT_FALSE(wheel_speeds(0, bad, 340, 1000));
  }
}

TEST(Ros2Names, TopicsAndFramesUnderTheNamespace) {
  const struct {
    const char* ns;
    const char* odom_topic;
    const char* range_topic;
    const char* frame;
    const char* node_namespace;
  } cases[] = {
      {"", "rt/odom", "rt/range/front", "base_link", "/"},
      {"robot1", "rt/robot1/odom", "rt/robot1/range/front", "robot1/base_link", "/robot1"},
      {"/fleet/robot_2/", "rt/fleet/robot_2/odom", "rt/fleet/robot_2/range/front", "fleet/robot_2/base_link",
       "/fleet/robot_2"},
  };
  for (const auto& c : cases) {
    const RosNames names(c.ns);
    EXPECT_EQ(names.topic("odom"), c.odom_topic);
    EXPECT_EQ(names.topic("range/front"), c.range_topic);
    EXPECT_EQ(names.frame("base_link"), c.frame);
    EXPECT_EQ(names.node_namespace(), c.node_namespace);
  }
  for (const char* bad : {"1robot", "robot-1", "a//b", "a__b", "robot 1", "ro.bot"})
    EXPECT_THROW(RosNames{bad}, CommandError) << bad;
}

TEST(Ros2Messages, CovariancesOnTheDiagonalLargeForWhatWheelsCannotSee) {
  for (const auto& matrix : {pose_covariance(), twist_covariance()}) {
    for (std::size_t row = 0; row < 6; ++row) {
      for (std::size_t col = 0; col < 6; ++col) {
        const double v = matrix[row * 6 + col];
        if (row != col)
          EXPECT_EQ(v, 0);
        else if (row >= 2 && row <= 4)  // z, roll, pitch
          EXPECT_EQ(v, kUnobserved);
        else
          EXPECT_TRUE(v > 0 && v < 1) << v;
      }
    }
  }
}

TEST(Ros2Messages, HeadingAndStampAndWheelJoints) {
  const Quaternion q = yaw_quaternion(std::numbers::pi / 2);
  EXPECT_NEAR(q.z, std::sqrt(0.5), 1e-12);
  EXPECT_NEAR(q.w, std::sqrt(0.5), 1e-12);
  const RosStamp stamp =
      ros_stamp(std::chrono::system_clock::time_point(std::chrono::nanoseconds(1'700'000'000'123'456'789)));
  EXPECT_EQ(stamp.sec, 1'700'000'000);
  EXPECT_EQ(stamp.nanosec, 123'456'789u);

  // One wheel turn forward on each side (2000 counts) in one second.
  odometry::WheelOdometry odometry(340);
  const auto t0 = odometry::WheelOdometry::Clock::now();
  const int turn = static_cast<int>(drvb::kEncoderCountsPerTurn);
  odometry.add(0, 0, t0);
  odometry.add(turn, turn, t0 + std::chrono::seconds(1));
  const WheelJoints joints = wheel_joints(odometry);
  for (int i = 0; i < 2; ++i) {
    EXPECT_NEAR(joints.position_rad[i], 2 * std::numbers::pi, 1e-9);
    EXPECT_NEAR(joints.velocity_rad_s[i], 2 * std::numbers::pi, 1e-9);
  }
}

}  // namespace
}  // namespace tavik::cli
