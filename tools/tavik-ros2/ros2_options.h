// tavik-ros2's own options, beside the global ones (the ports, --simulate).
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

namespace tavik::cli {

struct Ros2Args {
  bool allow_drive = false;
  bool send_stop = false;
  std::optional<int> domain_id;  // else ROS_DOMAIN_ID, else 0
  std::string ros_namespace;
  double odom_rate_hz = 20;
  double cmd_vel_timeout_s = 0.5;
  std::optional<double> wheel_separation_mm;
  std::vector<std::string> joint_names{"left_wheel_joint", "right_wheel_joint"};
};

inline constexpr const char* kRos2Summary =
    "Put the robot on a ROS 2 graph (Cyclone DDS): odometry, transforms, battery, ranges, joints and "
    "diagnostics out, cmd_vel in";

// The highest DDS domain id a participant's ports can be computed for.
inline constexpr int kMostDomainId = 232;

void add_ros2_options(CLI::App& app, Ros2Args& args);

// The domain: --domain-id, else the environment's ROS_DOMAIN_ID, else 0;
// throws a usage error for an environment value that is not one.
int domain_id(const Ros2Args& args);

}  // namespace tavik::cli
