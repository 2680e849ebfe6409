#include "ros_messages.h"

#include <cmath>
#include <numbers>

#include "drive_safety.h"
#include "facts/drvb_facts.h"
#include "facts/psb_facts.h"

namespace tavik::cli {
namespace {

std::array<double, 36> diagonal(const std::array<double, 6>& values) {
  std::array<double, 36> matrix{};
  for (std::size_t i = 0; i < 6; ++i) matrix[i * 7] = values[i];
  return matrix;
}

std::uint8_t level_of(const std::string& level) {
  if (level == "OK") return 0;
  if (level == "WARN") return 1;
  if (level == "ERROR") return 2;
  return 3;
}

std::string value_text(const Json& value) {
  if (value.is_null()) return "";
  if (value.is_string()) return value.get<std::string>();
  return value.dump();
}

}  // namespace

RosStamp ros_stamp(std::chrono::system_clock::time_point at) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
  const auto sec = ns / 1'000'000'000;
  return {static_cast<std::int32_t>(sec), static_cast<std::uint32_t>(ns - sec * 1'000'000'000)};
}

Quaternion yaw_quaternion(double heading_rad) {
  return {0, 0, std::sin(heading_rad / 2), std::cos(heading_rad / 2)};
}

// x and y to a few centimetres over a short run, the heading to a few
// degrees; the speeds to a few centimetres and degrees a second.
std::array<double, 36> pose_covariance() {
  return diagonal({1e-3, 1e-3, kUnobserved, kUnobserved, kUnobserved, 1e-2});
}

std::array<double, 36> twist_covariance() {
  return diagonal({1e-3, 1e-3, kUnobserved, kUnobserved, kUnobserved, 1e-2});
}

RangeBeam range_beam() {
  return {static_cast<float>(psb::kRangeFieldOfViewDeg * std::numbers::pi / 180), psb::kRangeMinMm / 1000.0f,
          psb::max_dist_cm(psb::kPowerUpMaxDistCode) / 100.0f};
}

WheelJoints wheel_joints(const odometry::WheelOdometry& odometry) {
  const double radius_m = drvb::kWheelCircumferenceMm / 1000 / (2 * std::numbers::pi);
  const double half_turn_m_s = odometry.twist().angular_rad_s * odometry.wheel_separation_mm() / 1000 / 2;
  const double speed = odometry.twist().linear_m_s;
  return {{odometry.left_travel_m() / radius_m, odometry.right_travel_m() / radius_m},
          {(speed - half_turn_m_s) / radius_m, (speed + half_turn_m_s) / radius_m}};
}

DiagnosticEntry board_status(const Json& entry, const std::string& port) {
  DiagnosticEntry status;
  const std::string name = entry.value("name", "");
  status.level = level_of(entry.value("level", ""));
  status.name = "tavik_ros2: " + std::string(name == "psb" ? "power & sensor board" : "drive board");
  status.message = entry.value("message", "");
  status.hardware_id = port;
  if (entry.contains("values"))
    for (const auto& [key, value] : entry["values"].items())
      status.values.emplace_back(key, value_text(value));
  return status;
}

DiagnosticEntry drive_status(const std::optional<Json>& drvb, bool drive_allowed) {
  DiagnosticEntry status;
  status.name = "tavik_ros2: drive";
  status.hardware_id = "drvb";
  status.values.emplace_back("drive_allowed", drive_allowed ? "true" : "false");
  if (!drvb || !drvb->contains("bumpers")) {
    status.level = 3;
    status.message = "no reading of the bumpers and the emergency stop";
    return status;
  }
  const Json& r = *drvb;
  const int left = r["bumpers"]["left"].get<bool>(), right = r["bumpers"]["right"].get<bool>();
  const int emergency = r["emergency_stop"].get<bool>();
  const int error_left = r["wheel_errors"]["left"].get<int>(),
            error_right = r["wheel_errors"]["right"].get<int>();
  const Blocked blocked = blocked_by(left, right, emergency);
  const std::string error = wheel_error(error_left, error_right);
  if (blocked.reason != nullptr) {
    status.level = emergency != 0 ? 2 : 1;
    status.message = blocked.text;
  } else if (!error.empty()) {
    status.level = 2;
    status.message = error;
  } else {
    status.message = "ok";
  }
  status.values.emplace_back("bumper_left", left != 0 ? "closed" : "open");
  status.values.emplace_back("bumper_right", right != 0 ? "closed" : "open");
  status.values.emplace_back("emergency_stop", emergency != 0 ? "closed" : "open");
  status.values.emplace_back("wheel_error_left", std::to_string(error_left));
  status.values.emplace_back("wheel_error_right", std::to_string(error_right));
  return status;
}

}  // namespace tavik::cli
