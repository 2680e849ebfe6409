// tavik-ros2's topics as a ROS 2 peer no one here wrote reads them: each with
// its type, its durability, its frames and the boards' values in ROS's
// units; the latched ones reach a late subscriber at once; a namespace puts
// topics and frames under it.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

#include "facts/drvb_facts.h"
#include "ros2_fixture.h"
#include "tests/support/records/velocity_record.h"

namespace tavik::test {
namespace {

// The DDS type a ROS 2 type travels as: "nav_msgs::msg::dds_::Odometry_".
std::string dds_type(const std::string& ros_type) {
  std::string out = ros_type;
  for (std::size_t slash; (slash = out.find('/')) != std::string::npos;) out.replace(slash, 1, "::");
  const auto last = out.rfind("::");
  return out.substr(0, last) + "::dds_::" + out.substr(last + 2) + "_";
}

bool latched(const std::string& topic) {
  return topic == "/odom" || topic == "/tf" || topic == "/battery_state";
}

TEST_F(Ros2, EveryTopicCarriesItsTypeItsFramesAndTheBoardsValues) {
  ASSERT_NO_FATAL_FAILURE(power_up());
  sim_.set_battery(11.5);
  const auto node = start_node({"--allow-drive"});
  // @foxglove/ros2 subscribes transient-local, which only a latched writer
  // offers; the others are read through a volatile reader of the same peer.
  std::vector<std::string> args;
  for (const Topic& t : all_topics()) args.push_back(subscribe(t) + (latched(t.name) ? "" : "@volatile"));
  Ros2Peer peer(kDomain, args);
  for (const Topic& t : all_topics()) {
    SCOPED_TRACE(t.name);
    const auto publication = peer.endpoint("publication", "rt" + t.name);
    ASSERT_TRUE(publication) << node_log();
    EXPECT_EQ((*publication)["type"], dds_type(t.type));
    EXPECT_EQ((*publication)["reliability"], "reliable");
    EXPECT_EQ((*publication)["durability"], latched(t.name) ? "transient_local" : "volatile");
  }
  // A short drive, so that the wheels and the pose are not where they began.
  ASSERT_TRUE(peer.endpoint("subscription", "rt/cmd_vel")) << node_log();
  peer.send_twist(0.2, 0.5, 20);
  std::this_thread::sleep_for(1500ms);
  peer.stop_sending();
  for (const auto deadline = Clock::now() + 3s; Clock::now() < deadline;) {
    const sim::SimStatus s = sim_.status();
    if (s.velocity_left == 0 && s.velocity_right == 0) break;
    std::this_thread::sleep_for(50ms);
  }
  std::this_thread::sleep_for(300ms);  // a poll of both boards since
  const sim::SimStatus status = sim_.status();
  ASSERT_NE(status.encoder_left, 0) << "the robot did not drive\n" << node_log();
  const double after = Ros2Peer::now();

  const auto odom = peer.next_on("/odom", 5s, after);
  ASSERT_TRUE(odom) << node_log();
  EXPECT_EQ((*odom)["header"]["frame_id"], "odom");
  EXPECT_EQ((*odom)["child_frame_id"], "base_link");
  // The robot started at the room's middle, heading along x: the odom frame's axes.
  const sim::Pose start;
  const Json& pose = (*odom)["pose"]["pose"];
  EXPECT_NEAR(pose["position"]["x"].get<double>(), (status.x_mm - start.x_mm) / 1000, 0.005);
  EXPECT_NEAR(pose["position"]["y"].get<double>(), (status.y_mm - start.y_mm) / 1000, 0.005);
  EXPECT_NEAR(std::remainder(yaw(pose["orientation"]) - status.heading_rad, 2 * std::numbers::pi), 0, 0.01);
  EXPECT_NEAR((*odom)["twist"]["twist"]["linear"]["x"].get<double>(), 0, 1e-6);

  const auto tf = peer.next_on("/tf", 5s, after);
  ASSERT_TRUE(tf);
  ASSERT_EQ((*tf)["transforms"].size(), 1u);
  const Json& transform = (*tf)["transforms"][0];
  EXPECT_EQ(transform["header"]["frame_id"], "odom");
  EXPECT_EQ(transform["child_frame_id"], "base_link");
  EXPECT_NEAR(transform["transform"]["translation"]["x"].get<double>(), pose["position"]["x"].get<double>(),
              0.005);

  const auto battery = peer.next_on("/battery_state", 5s, after);
  ASSERT_TRUE(battery);
  EXPECT_NEAR((*battery)["voltage"].get<double>(), status.battery_volt, 0.1);  // the board's tenths
  EXPECT_NEAR(std::abs((*battery)["current"].get<double>()), status.current_amp, 0.1);
  EXPECT_TRUE((*battery)["present"].get<bool>());
  // The board's charge, 0..1 in ROS 2, where the node gives it (NaN, read as null, where not).
  if (!(*battery)["percentage"].is_null()) {
    EXPECT_NEAR((*battery)["percentage"].get<double>(), (status.battery_volt - 10.5) / (12.6 - 10.5), 0.02);
  }

  for (int i = 0; i < psb::kRangeCount; ++i) {
    const std::string name = psb::kRangeSensors[i].name;
    SCOPED_TRACE(name);
    const auto range = peer.next_on("/range/" + name, 5s, after);
    ASSERT_TRUE(range);
    EXPECT_NE((*range)["header"]["frame_id"].get<std::string>().find(name), std::string::npos);
    EXPECT_EQ((*range)["radiation_type"], 0);  // ULTRASOUND
    EXPECT_GT((*range)["field_of_view"].get<double>(), 0);
    const double r = (*range)["range"].get<double>();
    EXPECT_NEAR(r, status.ranges_mm[i] / 1000.0, 0.005);  // the simulated sensor's jitter
    EXPECT_GT(r, (*range)["min_range"].get<double>());
    EXPECT_LT(r, (*range)["max_range"].get<double>());
  }

  const auto joints = peer.next_on("/joint_states", 5s, after);
  ASSERT_TRUE(joints);
  EXPECT_EQ((*joints)["name"], Json({"left_wheel_joint", "right_wheel_joint"}));
  ASSERT_EQ((*joints)["position"].size(), 2u);
  // The encoders began at 0 with the simulator.
  const double per_count = 2 * std::numbers::pi / drvb::kEncoderCountsPerTurn;
  EXPECT_NEAR((*joints)["position"][0].get<double>(), status.encoder_left * per_count, 0.01);
  EXPECT_NEAR((*joints)["position"][1].get<double>(), status.encoder_right * per_count, 0.01);

  const auto diagnostics = peer.next_on("/diagnostics", 5s, after);
  ASSERT_TRUE(diagnostics);
  ASSERT_GE((*diagnostics)["status"].size(), 2u) << *diagnostics;
  for (const Json& s : (*diagnostics)["status"]) EXPECT_EQ(s["level"], 0) << s;  // OK
}

// A subscriber that comes after the node has published: odom and
// battery_state reach it with samples sent before it subscribed, well
// before the next ones (odometry once a second here).
TEST_F(Ros2, ALateSubscriberGetsOdomAndBatteryAtOnce) {
  const auto node = start_node({"--odom-rate", "1"});
  const std::vector<std::string> topics{"/battery_state=sensor_msgs/msg/BatteryState",
                                        "/odom=nav_msgs/msg/Odometry"};
  {
    Ros2Peer first(kDomain, topics);
    ASSERT_TRUE(first.next_on("/battery_state")) << node_log();
    ASSERT_TRUE(first.next_on("/odom")) << node_log();
  }
  Ros2Peer late(kDomain, topics);
  const auto subscribed = late.ready_at();
  ASSERT_TRUE(subscribed);
  for (const std::string topic : {"/battery_state", "/odom"}) {
    const auto earlier = late.next(
        topic,
        [&](const Json& l) {
          return l.value("topic", "") == topic && l.contains("msg") &&
                 stamp(l["msg"]["header"]) < *subscribed;
        },
        3s);
    EXPECT_TRUE(earlier) << topic << ": no sample from before the subscription";
  }
}

// --namespace: topics under /NS/, frames NS/..., cmd_vel read there.
TEST_F(Ros2, ANamespacePutsTopicsUnderItAndPrefixesFrames) {
  const auto node = start_node({"--namespace", "robot1", "--allow-drive"});
  Ros2Peer peer(kDomain, {"/robot1/odom=nav_msgs/msg/Odometry", "/robot1/tf=tf2_msgs/msg/TFMessage"},
                "/robot1/cmd_vel");
  const auto odom = peer.next_on("/robot1/odom");
  ASSERT_TRUE(odom) << node_log();
  EXPECT_EQ((*odom)["header"]["frame_id"], "robot1/odom");
  EXPECT_EQ((*odom)["child_frame_id"], "robot1/base_link");
  const auto tf = peer.next_on("/robot1/tf");
  ASSERT_TRUE(tf);
  EXPECT_EQ((*tf)["transforms"][0]["header"]["frame_id"], "robot1/odom");
  EXPECT_EQ((*tf)["transforms"][0]["child_frame_id"], "robot1/base_link");
  ASSERT_TRUE(peer.endpoint("subscription", "rt/robot1/cmd_vel")) << node_log();
  VelocityRecord wire(sim_);
  peer.send_twist(0.1, 0, 20);
  EXPECT_TRUE(wire.first("BE100;100", Clock::now() - 1s, 3000ms)) << node_log();
  for (const Json& line : peer.lines())
    EXPECT_NE(line.value("topic", ""), "rt/odom") << "odom outside the namespace";
}

}  // namespace
}  // namespace tavik::test
