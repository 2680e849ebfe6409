// The node on DDS (Cyclone's C API): one participant in the domain, a
// writer per topic and the cmd_vel reader, ROS 2's types under ROS 2's
// names (ros_names.h). Writers: reliable, keep last 10, as ROS 2's
// default; odom, tf and battery_state also transient-local, so that a late
// subscriber gets the last one at once. Every writer and reader offers
// XCDR1 alone, which a ROS 2 reader that names no representation takes.
// cmd_vel is taken on DDS's own thread and handed on at once.
#pragma once

#include <dds/dds.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "odometry/wheel_odometry.h"
#include "ros_messages.h"
#include "ros_names.h"

namespace tavik::cli {

class DdsLink {
 public:
  // linear.x (m/s) and angular.z (rad/s) of each cmd_vel, on DDS's thread.
  using CmdVel = std::function<void(double linear_m_s, double angular_rad_s)>;
  // Throws CommandError when DDS cannot start (no network interface, a
  // configuration it refuses).
  DdsLink(int domain_id, const RosNames& names, CmdVel on_cmd_vel);
  // The cmd_vel listener first (no call after it), then every entity.
  ~DdsLink();
  DdsLink(const DdsLink&) = delete;
  DdsLink& operator=(const DdsLink&) = delete;

  using Time = std::chrono::system_clock::time_point;
  void publish_odometry(const odometry::Pose& pose, const odometry::Twist& twist, Time at);
  void publish_joints(const WheelJoints& joints, const std::vector<std::string>& names, Time at);
  // Volts and amperes (negative: discharging), as sensor_msgs/BatteryState has them.
  void publish_battery(float voltage_v, float current_a, Time at);
  void publish_range(int sensor, float range_m, Time at);
  void publish_diagnostics(const std::vector<DiagnosticEntry>& entries, Time at);

  // Writes DDS refused, since the start.
  unsigned failed_writes() const { return failed_writes_; }

 private:
  dds_entity_t writer(const dds_topic_descriptor_t* type, const std::string& topic, bool transient_local);
  void write(dds_entity_t writer, const void* sample);
  static void on_data(dds_entity_t reader, void* self);

  const RosNames names_;
  const CmdVel on_cmd_vel_;
  const std::string odom_frame_, base_frame_;
  std::vector<std::string> range_frames_;
  dds_entity_t participant_ = 0;
  dds_entity_t odom_ = 0, tf_ = 0, joints_ = 0, battery_ = 0, diagnostics_ = 0;
  std::vector<dds_entity_t> ranges_;
  dds_entity_t cmd_vel_ = 0;
  unsigned failed_writes_ = 0;
};

}  // namespace tavik::cli
