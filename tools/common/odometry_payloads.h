// The odometry as the robotics viewers draw it: the robot's pose in the
// odom frame as foxglove.PoseInFrame, and the transform odom -> base_link as
// foxglove.FrameTransforms, JSON with the JSON Schemas of those two types
// (x forward, y left, z up; metres; the heading as a quaternion about z);
// and as the bridge publishes it, under odom: the pose, the twist and the
// jumps dropped, in SI units with the poll's UTC stamp.
#pragma once

#include <chrono>
#include <string>

#include "odometry/wheel_odometry.h"
#include "output.h"

namespace tavik::cli {

inline constexpr const char* kOdomFrame = "odom";
inline constexpr const char* kBaseFrame = "base_link";

const Json& pose_in_frame_schema();
const Json& frame_transforms_schema();

Json pose_in_frame(const odometry::Pose& pose, std::chrono::system_clock::time_point at);
Json frame_transforms(const odometry::Pose& pose, std::chrono::system_clock::time_point at);

// {"stamp", "x_m", "y_m", "heading_rad", "v_m_s", "omega_rad_s", "dropped_jumps"}
Json odom_payload(const odometry::WheelOdometry& odometry, const std::string& stamp);
Json odom_schema();

}  // namespace tavik::cli
