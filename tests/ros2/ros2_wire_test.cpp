// tavik-ros2 --simulate seen from another DDS participant (Cyclone's, on
// the generated types, where the other tests read with an RTPS peer of
// their own): its odometry, battery and joints under ROS's names, types and
// frames to a late subscriber, and the end on SIGTERM. Run in a network
// namespace of its own, whose loopback carries multicast (in_network_namespace.sh).
#include <dds/dds.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>

#include "nav_msgs.h"
#include "sensor_msgs.h"
#include "tests/support/processes/child_program.h"

namespace {

using Clock = std::chrono::steady_clock;

class Participant {
 public:
  Participant() : participant_(dds_create_participant(DDS_DOMAIN_DEFAULT, nullptr, nullptr)) {}
  ~Participant() { dds_delete(participant_); }
  Participant(const Participant&) = delete;
  Participant& operator=(const Participant&) = delete;

  dds_entity_t reader(const dds_topic_descriptor_t* type, const char* topic, bool transient_local) {
    const dds_entity_t t = dds_create_topic(participant_, type, topic, nullptr, nullptr);
    dds_qos_t* qos = dds_create_qos();
    dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_SECS(1));
    dds_qset_history(qos, DDS_HISTORY_KEEP_LAST, 10);
    if (transient_local) dds_qset_durability(qos, DDS_DURABILITY_TRANSIENT_LOCAL);
    const dds_entity_t r = dds_create_reader(participant_, t, qos, nullptr);
    dds_delete_qos(qos);
    return r;
  }

 private:
  dds_entity_t participant_;
};

// Takes samples of reader until accept says yes or `bound` passes; each
// sample is handed to accept in a loaned buffer.
bool take_until(dds_entity_t reader, std::chrono::milliseconds bound,
                const std::function<bool(const void*)>& accept) {
  const dds_entity_t waitset = dds_create_waitset(DDS_CYCLONEDDS_HANDLE);
  const dds_entity_t condition = dds_create_readcondition(reader, DDS_ANY_STATE);
  dds_waitset_attach(waitset, condition, 0);
  const auto deadline = Clock::now() + bound;
  bool accepted = false;
  while (!accepted && Clock::now() < deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
    dds_waitset_wait(waitset, nullptr, 0, left > 0 ? left : 0);
    void* samples[1] = {nullptr};
    dds_sample_info_t info;
    while (!accepted && dds_take(reader, samples, &info, 1, 1) > 0) {
      if (info.valid_data) accepted = accept(samples[0]);
      dds_return_loan(reader, samples, 1);
      samples[0] = nullptr;
    }
  }
  dds_delete(waitset);
  dds_delete(condition);
  return accepted;
}

TEST(Ros2Wire, OdometryBatteryAndJointsOnTheGraph) {
  if (const char* why = std::getenv("TAVIK_NO_NETWORK_NAMESPACE")) GTEST_SKIP() << why;
  tavik::test::ChildProgram node(TAVIK_ROS2_PATH,
                                 {"--simulate", "--namespace", "t1", "--joint-names", "wl,wr"});
  ASSERT_TRUE(node.started());
  ASSERT_NE(node.line().find("on domain"), std::string::npos);
  // Late: the node has published for a while when the readers come.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  Participant dds;
  const dds_entity_t odom = dds.reader(&nav_msgs_msg_dds__Odometry__desc, "rt/t1/odom", true);
  const dds_entity_t battery =
      dds.reader(&sensor_msgs_msg_dds__BatteryState__desc, "rt/t1/battery_state", true);
  const dds_entity_t joints = dds.reader(&sensor_msgs_msg_dds__JointState__desc, "rt/t1/joint_states", false);

  nav_msgs_msg_dds__Odometry_ first{};
  std::string frame, child;
  ASSERT_TRUE(take_until(odom, std::chrono::seconds(10), [&](const void* p) {
    first = *static_cast<const nav_msgs_msg_dds__Odometry_*>(p);
    frame = first.header.frame_id;
    child = first.child_frame_id;
    return true;
  }));
  EXPECT_EQ(frame, "t1/odom");
  EXPECT_EQ(child, "t1/base_link");
  EXPECT_EQ(first.pose.covariance[14], 1e6);  // z: not observed

  float volts = 0;
  bool present = false;
  ASSERT_TRUE(take_until(battery, std::chrono::seconds(10), [&](const void* p) {
    const auto* b = static_cast<const sensor_msgs_msg_dds__BatteryState_*>(p);
    volts = b->voltage;
    present = b->present;
    EXPECT_TRUE(std::isnan(b->percentage));
    return true;
  }));
  EXPECT_GT(volts, 5.0f);
  EXPECT_TRUE(present);

  std::string left, right;
  ASSERT_TRUE(take_until(joints, std::chrono::seconds(10), [&](const void* p) {
    const auto* j = static_cast<const sensor_msgs_msg_dds__JointState_*>(p);
    if (j->name._length != 2 || j->position._length != 2 || j->velocity._length != 2) return false;
    left = j->name._buffer[0];
    right = j->name._buffer[1];
    return true;
  }));
  EXPECT_EQ(left, "wl");
  EXPECT_EQ(right, "wr");

  node.signal(SIGTERM);
  EXPECT_EQ(node.wait(std::chrono::seconds(10)), 128 + SIGTERM);
}

}  // namespace
