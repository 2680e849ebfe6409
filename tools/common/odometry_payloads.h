// The odometry as the robotics viewers draw it: the robot's pose in the
// odom frame as foxglove.PoseInFrame, and the transform odom -> base_link as
// foxglove.FrameTransforms, JSON with the JSON Schemas of those two types
// (x forward, y left, z up; metres; the heading as a quaternion about z).
#pragma once

#include <chrono>

#include "odometry/wheel_odometry.h"
#include "output.h"

namespace tavik::cli {

inline constexpr const char* kOdomFrame = "odom";
inline constexpr const char* kBaseFrame = "base_link";

const Json& pose_in_frame_schema();
const Json& frame_transforms_schema();

Json pose_in_frame(const odometry::Pose& pose, std::chrono::system_clock::time_point at);
Json frame_transforms(const odometry::Pose& pose, std::chrono::system_clock::time_point at);

}  // namespace tavik::cli
