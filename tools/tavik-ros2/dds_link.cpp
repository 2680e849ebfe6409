#include "dds_link.h"

#include <memory>

#include "command_error.h"
#include "diagnostic_msgs.h"
#include "facts/psb_facts.h"
#include "geometry_msgs.h"
#include "nav_msgs.h"
#include "sensor_msgs.h"
#include "tf2_msgs.h"

namespace tavik::cli {
namespace {

constexpr int kDepth = 10;  // ROS 2's default history

struct QosDeleter {
  void operator()(dds_qos_t* qos) const { dds_delete_qos(qos); }
};
using Qos = std::unique_ptr<dds_qos_t, QosDeleter>;

// XCDR1 alone: a ROS 2 reader that announces no representation refuses XCDR2.
// The blocking time is not Cyclone's default (100 ms): a writer at the
// default leaves its reliability out of its announcement, as DDSI allows, and
// a reader that needs it there (@foxglove/ros2) never matches the writer.
Qos plain_qos(dds_reliability_kind_t reliability, bool transient_local) {
  Qos qos(dds_create_qos());
  dds_qset_reliability(qos.get(), reliability, DDS_SECS(1));
  dds_qset_history(qos.get(), DDS_HISTORY_KEEP_LAST, kDepth);
  dds_qset_durability(qos.get(), transient_local ? DDS_DURABILITY_TRANSIENT_LOCAL : DDS_DURABILITY_VOLATILE);
  const dds_data_representation_id_t xcdr1 = DDS_DATA_REPRESENTATION_XCDR1;
  dds_qset_data_representation(qos.get(), 1, &xcdr1);
  return qos;
}

CommandError dds_failure(const std::string& step, dds_return_t rc) {
  return CommandError(kExitCommandFailed, reason::kDdsFailed, step, std::nullopt, "", dds_strretcode(rc));
}

char* text(const std::string& s) { return const_cast<char*>(s.c_str()); }

std_msgs_msg_dds__Header_ header(const std::string& frame, DdsLink::Time at) {
  const RosStamp stamp = ros_stamp(at);
  return {{stamp.sec, stamp.nanosec}, text(frame)};
}

}  // namespace

DdsLink::DdsLink(int domain_id, const RosNames& names, CmdVel on_cmd_vel)
    : names_(names),
      on_cmd_vel_(std::move(on_cmd_vel)),
      odom_frame_(names.frame("odom")),
      base_frame_(names.frame("base_link")) {
  for (const psb::RangeSensorFact& sensor : psb::kRangeSensors)
    range_frames_.push_back(names.frame(std::string("range_") + sensor.name));
  // A ROS 2 participant's user data names its security enclave.
  Qos participant_qos(dds_create_qos());
  static constexpr char kEnclave[] = "enclave=/;";
  dds_qset_userdata(participant_qos.get(), kEnclave, sizeof kEnclave - 1);
  participant_ =
      dds_create_participant(static_cast<dds_domainid_t>(domain_id), participant_qos.get(), nullptr);
  if (participant_ < 0) throw dds_failure("start DDS in domain " + std::to_string(domain_id), participant_);
  try {
    odom_ = writer(&nav_msgs_msg_dds__Odometry__desc, names.topic("odom"), true);
    tf_ = writer(&tf2_msgs_msg_dds__TFMessage__desc, names.topic("tf"), true);
    battery_ = writer(&sensor_msgs_msg_dds__BatteryState__desc, names.topic("battery_state"), true);
    joints_ = writer(&sensor_msgs_msg_dds__JointState__desc, names.topic("joint_states"), false);
    diagnostics_ = writer(&diagnostic_msgs_msg_dds__DiagnosticArray__desc, names.topic("diagnostics"), false);
    for (const psb::RangeSensorFact& sensor : psb::kRangeSensors)
      ranges_.push_back(
          writer(&sensor_msgs_msg_dds__Range__desc, names.topic(std::string("range/") + sensor.name), false));
    const dds_entity_t topic = dds_create_topic(participant_, &geometry_msgs_msg_dds__Twist__desc,
                                                names.topic("cmd_vel").c_str(), nullptr, nullptr);
    if (topic < 0) throw dds_failure("create topic cmd_vel", topic);
    // Best effort: it matches a reliable writer and a best-effort one (a
    // teleop's), where a reliable reader would refuse the latter.
    const Qos qos = plain_qos(DDS_RELIABILITY_BEST_EFFORT, false);
    dds_listener_t* listener = dds_create_listener(this);
    dds_lset_data_available(listener, &DdsLink::on_data);
    cmd_vel_ = dds_create_reader(participant_, topic, qos.get(), listener);
    dds_delete_listener(listener);
    if (cmd_vel_ < 0) throw dds_failure("subscribe to cmd_vel", cmd_vel_);
  } catch (...) {
    dds_delete(participant_);
    throw;
  }
}

DdsLink::~DdsLink() {
  // Waits for a listener call under way; none comes after it.
  if (cmd_vel_ > 0) dds_set_listener(cmd_vel_, nullptr);
  dds_delete(participant_);
}

dds_entity_t DdsLink::writer(const dds_topic_descriptor_t* type, const std::string& topic,
                             bool transient_local) {
  const dds_entity_t t = dds_create_topic(participant_, type, topic.c_str(), nullptr, nullptr);
  if (t < 0) throw dds_failure("create topic " + topic, t);
  const Qos qos = plain_qos(DDS_RELIABILITY_RELIABLE, transient_local);
  const dds_entity_t w = dds_create_writer(participant_, t, qos.get(), nullptr);
  if (w < 0) throw dds_failure("create the writer of " + topic, w);
  return w;
}

void DdsLink::write(dds_entity_t writer, const void* sample) {
  if (dds_write(writer, sample) < 0) ++failed_writes_;
}

void DdsLink::on_data(dds_entity_t reader, void* self) {
  auto* link = static_cast<DdsLink*>(self);
  geometry_msgs_msg_dds__Twist_ twist{};
  void* samples[1] = {&twist};
  dds_sample_info_t info{};
  while (dds_take(reader, samples, &info, 1, 1) > 0) {
    if (info.valid_data) link->on_cmd_vel_(twist.linear.x, twist.angular.z);
  }
}

void DdsLink::publish_odometry(const odometry::Pose& pose, const odometry::Twist& twist, Time at) {
  const Quaternion q = yaw_quaternion(pose.heading_rad);
  nav_msgs_msg_dds__Odometry_ odom{};
  odom.header = header(odom_frame_, at);
  odom.child_frame_id = text(base_frame_);
  odom.pose.pose.position = {pose.x_m, pose.y_m, 0};
  odom.pose.pose.orientation = {q.x, q.y, q.z, q.w};
  const std::array<double, 36> pose_cov = pose_covariance(), twist_cov = twist_covariance();
  std::copy(pose_cov.begin(), pose_cov.end(), odom.pose.covariance);
  odom.twist.twist.linear = {twist.linear_m_s, 0, 0};
  odom.twist.twist.angular = {0, 0, twist.angular_rad_s};
  std::copy(twist_cov.begin(), twist_cov.end(), odom.twist.covariance);
  write(odom_, &odom);

  geometry_msgs_msg_dds__TransformStamped_ transform{};
  transform.header = header(odom_frame_, at);
  transform.child_frame_id = text(base_frame_);
  transform.transform.translation = {pose.x_m, pose.y_m, 0};
  transform.transform.rotation = {q.x, q.y, q.z, q.w};
  tf2_msgs_msg_dds__TFMessage_ tf{};
  tf.transforms._length = tf.transforms._maximum = 1;
  tf.transforms._buffer = &transform;
  write(tf_, &tf);
}

void DdsLink::publish_joints(const WheelJoints& joints, const std::vector<std::string>& names, Time at) {
  const std::string no_frame;
  sensor_msgs_msg_dds__JointState_ state{};
  state.header = header(no_frame, at);
  char* joint_names[2] = {text(names.at(0)), text(names.at(1))};
  double position[2] = {joints.position_rad[0], joints.position_rad[1]};
  double velocity[2] = {joints.velocity_rad_s[0], joints.velocity_rad_s[1]};
  state.name = {2, 2, joint_names, false};
  state.position = {2, 2, position, false};
  state.velocity = {2, 2, velocity, false};
  write(joints_, &state);
}

void DdsLink::publish_battery(float voltage_v, float current_a, Time at) {
  const float unknown = std::numeric_limits<float>::quiet_NaN();
  const std::string no_frame, none;
  sensor_msgs_msg_dds__BatteryState_ battery{};
  battery.header = header(no_frame, at);
  battery.voltage = voltage_v;
  battery.temperature = unknown;
  battery.current = current_a;
  battery.charge = unknown;
  battery.capacity = unknown;
  battery.design_capacity = unknown;
  battery.percentage = unknown;
  battery.power_supply_status = kPowerSupplyUnknown;
  battery.power_supply_health = kPowerSupplyUnknown;
  battery.power_supply_technology = kPowerSupplyUnknown;
  battery.present = true;
  battery.location = text(none);
  battery.serial_number = text(none);
  write(battery_, &battery);
}

void DdsLink::publish_range(int sensor, float range_m, Time at) {
  const auto i = static_cast<std::size_t>(sensor);
  const RangeBeam beam = range_beam();
  sensor_msgs_msg_dds__Range_ range{};
  range.header = header(range_frames_.at(i), at);
  range.radiation_type = kUltrasound;
  range.field_of_view = beam.field_of_view_rad;
  range.min_range = beam.min_m;
  range.max_range = beam.max_m;
  range.range = range_m;
  write(ranges_.at(i), &range);
}

void DdsLink::publish_diagnostics(const std::vector<DiagnosticEntry>& entries, Time at) {
  const std::string no_frame;
  std::vector<diagnostic_msgs_msg_dds__DiagnosticStatus_> statuses;
  std::vector<std::vector<diagnostic_msgs_msg_dds__KeyValue_>> values(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DiagnosticEntry& e = entries[i];
    for (const auto& [key, value] : e.values) values[i].push_back({text(key), text(value)});
    diagnostic_msgs_msg_dds__DiagnosticStatus_ s{};
    s.level = e.level;
    s.name = text(e.name);
    s.message = text(e.message);
    s.hardware_id = text(e.hardware_id);
    s.values = {static_cast<std::uint32_t>(values[i].size()), static_cast<std::uint32_t>(values[i].size()),
                values[i].data(), false};
    statuses.push_back(s);
  }
  diagnostic_msgs_msg_dds__DiagnosticArray_ array{};
  array.header = header(no_frame, at);
  array.status = {static_cast<std::uint32_t>(statuses.size()), static_cast<std::uint32_t>(statuses.size()),
                  statuses.data(), false};
  write(diagnostics_, &array);
}

}  // namespace tavik::cli
