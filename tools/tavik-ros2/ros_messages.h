// What the node's messages carry, as plain numbers and text before they
// become ROS 2's types (dds_link): the stamps, the heading as a quaternion,
// the odometry's covariances, the ultrasonic beams of sensor_msgs/Range,
// the wheels' joints and the diagnostics' statuses. REP 103: metres,
// radians, seconds; x forward, y left, z up.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "odometry/wheel_odometry.h"
#include "output.h"

namespace tavik::cli {

struct RosStamp {
  std::int32_t sec = 0;
  std::uint32_t nanosec = 0;
};
RosStamp ros_stamp(std::chrono::system_clock::time_point at);

struct Quaternion {
  double x = 0, y = 0, z = 0, w = 1;
};
Quaternion yaw_quaternion(double heading_rad);

// Row-major 6x6 over x, y, z, roll, pitch, yaw, the diagonal alone: what the
// wheels observe is small, what they cannot (z, roll, pitch) is kUnobserved.
inline constexpr double kUnobserved = 1e6;
std::array<double, 36> pose_covariance();
std::array<double, 36> twist_covariance();

// sensor_msgs's values the node sends.
inline constexpr std::uint8_t kPowerSupplyUnknown = 0;  // status, health and technology alike
inline constexpr std::uint8_t kUltrasound = 0;          // Range.radiation_type

// An ultrasonic sensor's beam, from the facts: its cone in radians, its
// nearest and farthest distance in metres (the farthest the board's
// power-up maximum distance).
struct RangeBeam {
  float field_of_view_rad;
  float min_m;
  float max_m;
};
RangeBeam range_beam();

// The wheels as joints: their angles (rad, 0 at the start) and speeds (rad/s),
// left then right, from the travel and twist of the odometry and the wheel
// circumference of the facts.
struct WheelJoints {
  double position_rad[2];
  double velocity_rad_s[2];
};
WheelJoints wheel_joints(const odometry::WheelOdometry& odometry);

// One diagnostic_msgs/DiagnosticStatus.
struct DiagnosticEntry {
  std::uint8_t level = 0;  // 0 OK, 1 WARN, 2 ERROR, 3 STALE
  std::string name;
  std::string message;
  std::string hardware_id;
  std::vector<std::pair<std::string, std::string>> values;
};

// A board's status from its entry of the diagnostics (board_diagnostics.h):
// the bridge's level, message and link figures.
DiagnosticEntry board_status(const Json& entry, const std::string& port);
// The drive's status from the drive board's last reading (none: STALE):
// the bumpers, the emergency stop and the wheel errors, and whether
// cmd_vel drives.
DiagnosticEntry drive_status(const std::optional<Json>& drvb, bool drive_allowed);

}  // namespace tavik::cli
