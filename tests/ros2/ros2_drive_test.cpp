// tavik-ros2 driven through cmd_vel by a ROS 2 peer no one here wrote: a
// square closed on the odometry ends where the simulated robot truly is;
// the drive stops on the time-out, on SIGTERM, on a bumper and on the
// emergency stop; nothing moves without --allow-drive; a twist faster
// than Max Velocity keeps its curve.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <thread>

#include "ros2_fixture.h"
#include "tests/support/records/velocity_record.h"

namespace tavik::test {
namespace {

constexpr double kPi = std::numbers::pi;

// The pose an odometry message gives: x, y (m), heading (rad).
struct Pose2 {
  double x = 0, y = 0, heading = 0;
};
Pose2 odom_pose(const Json& odom) {
  const Json& p = odom["pose"]["pose"];
  return {p["position"]["x"].get<double>(), p["position"]["y"].get<double>(), yaw(p["orientation"])};
}
// The simulated robot's pose in the frame of where it started (the odom frame).
Pose2 true_pose(const sim::SimStatus& start, const sim::SimStatus& now) {
  const double dx = (now.x_mm - start.x_mm) / 1000, dy = (now.y_mm - start.y_mm) / 1000;
  const double c = std::cos(start.heading_rad), s = std::sin(start.heading_rad);
  return {dx * c + dy * s, -dx * s + dy * c, now.heading_rad - start.heading_rad};
}
double angle(double a) { return std::remainder(a, 2 * kPi); }

// A 1 m square, counter-clockwise, each side closed on the odometry: along
// the side at up to 0.5 m/s, slowing as its end nears, steering back onto
// it; then a turn in place to the next side. A twist for each odometry
// message, so the node's time-out stops the robot if the loop stalls. It
// takes some 20 s; a minute is its bound.
TEST_F(Ros2, ASquareDrivenThroughCmdVelEndsWhereTheRobotTrulyIs) {
  ASSERT_NO_FATAL_FAILURE(power_up());
  const auto node = start_node({"--allow-drive", "--odom-rate", "50"});
  Ros2Peer peer(kDomain, {"/odom=nav_msgs/msg/Odometry"});
  ASSERT_TRUE(peer.endpoint("subscription", "rt/cmd_vel")) << node_log();
  const sim::SimStatus start = sim_.status();
  const auto deadline = Clock::now() + 60s;
  auto odom = [&]() -> Pose2 {
    const auto m = peer.next_on("/odom", 2s);
    if (!m) throw std::runtime_error("no odometry for 2 s");
    if (Clock::now() > deadline) throw std::runtime_error("not round the square within a minute");
    return odom_pose(*m);
  };
  try {
    Pose2 p = odom();
    for (int side = 0; side < 4; ++side) {
      const double h = side * kPi / 2, ux = std::cos(h), uy = std::sin(h);
      const double ax = side == 1 || side == 2 ? 1 : 0, ay = side >= 2 ? 1 : 0;
      for (;;) {
        const double along = (p.x - ax) * ux + (p.y - ay) * uy, across = -(p.x - ax) * uy + (p.y - ay) * ux;
        const double left = 1 - along;
        if (left <= 0.002) break;
        const double v = std::clamp(2.5 * left, 0.03, 0.5);
        const double w = std::clamp(-4 * across + 3 * angle(h - p.heading), -0.6, 0.6);
        peer.send_twist(v, w);
        p = odom();
      }
      const double target = h + kPi / 2;
      for (double e = angle(target - p.heading); std::abs(e) > 0.003; e = angle(target - p.heading)) {
        peer.send_twist(0, std::copysign(std::clamp(4 * std::abs(e), 0.05, 1.5), e));
        p = odom();
      }
    }
  } catch (const std::runtime_error& e) {
    FAIL() << e.what() << "\n" << node_log();
  }
  peer.send_twist(0, 0);
  std::this_thread::sleep_for(800ms);  // stopped, and polled since
  const sim::SimStatus end = sim_.status();
  const auto last = peer.next_on("/odom", 2s, Ros2Peer::now());
  ASSERT_TRUE(last);
  const Pose2 o = odom_pose(*last), t = true_pose(start, end);
  const double error_m = std::hypot(o.x - t.x, o.y - t.y),
               error_deg = std::abs(angle(o.heading - t.heading)) * 180 / kPi;
  const double odom_home_m = std::hypot(o.x, o.y), odom_home_deg = std::abs(angle(o.heading)) * 180 / kPi;
  const double true_home_m = std::hypot(t.x, t.y), true_home_deg = std::abs(angle(t.heading)) * 180 / kPi;
  std::printf(
      "1 m square through cmd_vel: odometry ends at (%.4f, %.4f) m %.2f deg, the robot truly at (%.4f, %.4f) "
      "m "
      "%.2f deg: %.4f m (%.2f %% of 4 m) and %.2f deg apart; from the start: odometry %.4f m %.2f deg, "
      "robot %.4f m %.2f deg\n",
      o.x, o.y, o.heading * 180 / kPi, t.x, t.y, t.heading * 180 / kPi, error_m, error_m / 4 * 100, error_deg,
      odom_home_m, odom_home_deg, true_home_m, true_home_deg);
  const double bound_m = 0.02 * 4, bound_deg = 2;
  EXPECT_LT(error_m, bound_m);
  EXPECT_LT(error_deg, bound_deg);
  EXPECT_LT(odom_home_m, bound_m);
  EXPECT_LT(odom_home_deg, bound_deg);
  EXPECT_LT(true_home_m, bound_m);
  EXPECT_LT(true_home_deg, bound_deg);
}

// A drive at 0.2 m/s held by cmd_vel at 20 a second, then something that
// stops it: the stop (0,0) goes out within the time-out and a second, and
// no velocity after it.
struct StopCase {
  const char* name;
  // Done while cmd_vel holds the drive (which but the first keeps sending).
  std::function<void(sim::Simulator&, Ros2Peer&, Ros2Node&)> stop;
};

TEST_F(Ros2, EachStopEndsTheDriveAndNothingMovesAfterIt) {
  const StopCase cases[] = {
      {"cmd_vel ends (the time-out)",
       [](sim::Simulator&, Ros2Peer& peer, Ros2Node&) { peer.stop_sending(); }},
      {"SIGTERM", [](sim::Simulator&, Ros2Peer&, Ros2Node& node) { node.signal(SIGTERM); }},
      {"a bumper", [](sim::Simulator& sim, Ros2Peer&, Ros2Node&) { sim.press_bumpers(true, false); }},
      {"the emergency stop", [](sim::Simulator& sim, Ros2Peer&, Ros2Node&) { sim.set_emergency(true); }},
  };
  ASSERT_NO_FATAL_FAILURE(power_up());
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.press_bumpers(false, false);
    sim_.set_emergency(false);
    const auto node = start_node({"--allow-drive"});
    Ros2Peer peer(kDomain, {});
    ASSERT_TRUE(peer.endpoint("subscription", "rt/cmd_vel")) << node_log();
    VelocityRecord wire(sim_);
    peer.send_twist(0.2, 0, 20);
    ASSERT_TRUE(wire.first("BE200;200", Clock::now() - 1s, 5000ms)) << node_log();
    const auto stopped = Clock::now();
    c.stop(sim_, peer, *node);
    const auto stop = wire.first("BE;", stopped, 1500ms);
    ASSERT_TRUE(stop) << node_log();
    std::this_thread::sleep_for(1s);  // cmd_vel still coming but for the time-out's case
    for (const auto& v : wire.velocities()) {
      if (v.seen > *stop) {
        EXPECT_EQ(v.command, "BE;") << "a drive after the stop\n" << node_log();
      }
    }
    peer.stop_sending();
    node->signal(SIGTERM);
    EXPECT_NE(node->finish(5s), -1) << node_log();
  }
}

// What cmd_vel asks, and what the drive board is told: nothing without
// --allow-drive; Max Velocity (1000 mm/s) bounds the faster wheel and the
// slower keeps its share.
struct DriveCase {
  const char* name;
  bool allow;
  double vx, wz;
  int left, right;  // mm/s; 0, 0: no drive goes out
};

TEST_F(Ros2, CmdVelBecomesTheWheelsVelocitiesWithinMaxVelocity) {
  const DriveCase cases[] = {
      {"without --allow-drive", false, 0.2, 0, 0, 0},
      {"a plain drive", true, 0.2, 0, 200, 200},
      {"a curve", true, 0.2, 0.5, 115, 285},
      {"a curve above Max Velocity", true, 2.0, 1.0, 843, 1000},
      {"backwards above Max Velocity", true, -3.0, 0, -1000, -1000},
  };
  ASSERT_NO_FATAL_FAILURE(power_up());
  for (const DriveCase& c : cases) {
    SCOPED_TRACE(c.name);
    const sim::SimStatus before = sim_.status();
    std::vector<std::string> args;
    if (c.allow) args.push_back("--allow-drive");
    const auto node = start_node(args);
    Ros2Peer peer(kDomain, {});
    ASSERT_TRUE(peer.endpoint("subscription", "rt/cmd_vel")) << node_log();
    VelocityRecord wire(sim_);
    peer.send_twist(c.vx, c.wz, 20);
    if (c.left == 0 && c.right == 0) {
      std::this_thread::sleep_for(1500ms);
      for (const auto& v : wire.velocities()) EXPECT_EQ(v.command, "BE;") << node_log();
      const sim::SimStatus after = sim_.status();
      EXPECT_EQ(after.encoder_left, before.encoder_left);
      EXPECT_EQ(after.encoder_right, before.encoder_right);
    } else {
      const std::string expected = "BE" + std::to_string(c.left) + ";" + std::to_string(c.right);
      EXPECT_TRUE(wire.first(expected, Clock::now() - 1s, 5000ms)) << node_log();
    }
    peer.stop_sending();
    node->signal(SIGTERM);
    EXPECT_NE(node->finish(5s), -1) << node_log();
  }
}

}  // namespace
}  // namespace tavik::test
