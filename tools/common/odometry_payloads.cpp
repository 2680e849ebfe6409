#include "odometry_payloads.h"

#include <cmath>

#include "telemetry_schemas.h"

namespace tavik::cli {
namespace {

Json numbers(std::initializer_list<const char*> names) {
  Json properties = Json::object();
  for (const char* name : names) properties[name] = {{"type", "number"}};
  return {{"type", "object"}, {"properties", properties}};
}

Json time_schema() {
  return {{"type", "object"},
          {"title", "time"},
          {"properties",
           {{"sec", {{"type", "integer"}, {"minimum", 0}}},
            {"nsec", {{"type", "integer"}, {"minimum", 0}, {"maximum", 999999999}}}}}};
}

Json schema(const char* title, Json properties) {
  return {{"$schema", "https://json-schema.org/draft/2020-12/schema"},
          {"title", title},
          {"type", "object"},
          {"properties", std::move(properties)}};
}

Json time_of(std::chrono::system_clock::time_point at) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
  return {{"sec", ns / 1000000000}, {"nsec", ns % 1000000000}};
}

Json position(const odometry::Pose& pose) { return {{"x", pose.x_m}, {"y", pose.y_m}, {"z", 0.0}}; }

Json orientation(const odometry::Pose& pose) {
  return {
      {"x", 0.0}, {"y", 0.0}, {"z", std::sin(pose.heading_rad / 2)}, {"w", std::cos(pose.heading_rad / 2)}};
}

}  // namespace

const Json& pose_in_frame_schema() {
  static const Json s = schema(
      "foxglove.PoseInFrame",
      {{"timestamp", time_schema()},
       {"frame_id", {{"type", "string"}}},
       {"pose",
        {{"type", "object"},
         {"properties",
          {{"position", numbers({"x", "y", "z"})}, {"orientation", numbers({"x", "y", "z", "w"})}}}}}});
  return s;
}

const Json& frame_transforms_schema() {
  static const Json s =
      schema("foxglove.FrameTransforms", {{"transforms",
                                           {{"type", "array"},
                                            {"items",
                                             {{"type", "object"},
                                              {"properties",
                                               {{"timestamp", time_schema()},
                                                {"parent_frame_id", {{"type", "string"}}},
                                                {"child_frame_id", {{"type", "string"}}},
                                                {"translation", numbers({"x", "y", "z"})},
                                                {"rotation", numbers({"x", "y", "z", "w"})}}}}}}}});
  return s;
}

Json pose_in_frame(const odometry::Pose& pose, std::chrono::system_clock::time_point at) {
  return {{"timestamp", time_of(at)},
          {"frame_id", kOdomFrame},
          {"pose", {{"position", position(pose)}, {"orientation", orientation(pose)}}}};
}

Json frame_transforms(const odometry::Pose& pose, std::chrono::system_clock::time_point at) {
  return {{"transforms", Json::array({{{"timestamp", time_of(at)},
                                       {"parent_frame_id", kOdomFrame},
                                       {"child_frame_id", kBaseFrame},
                                       {"translation", position(pose)},
                                       {"rotation", orientation(pose)}}})}};
}

Json odom_payload(const odometry::WheelOdometry& odometry, const std::string& stamp) {
  return {{"stamp", stamp},
          {"x_m", odometry.pose().x_m},
          {"y_m", odometry.pose().y_m},
          {"heading_rad", odometry.pose().heading_rad},
          {"v_m_s", odometry.twist().linear_m_s},
          {"omega_rad_s", odometry.twist().angular_rad_s},
          {"dropped_jumps", odometry.dropped()}};
}

Json odom_schema() {
  const auto described = [](const char* description) {
    return Json{{"type", "number"}, {"description", description}};
  };
  return object_schema("Odometry",
                       {{"stamp", {{"type", "string"}, {"format", "date-time"}}},
                        {"x_m", described("m, forward of where the odometry started")},
                        {"y_m", described("m, left of it")},
                        {"heading_rad", described("rad, counter-clockwise, in (-pi, pi]")},
                        {"v_m_s", described("m/s, forward")},
                        {"omega_rad_s", described("rad/s, counter-clockwise")},
                        {"dropped_jumps",
                         {{"type", "integer"},
                          {"minimum", 0},
                          {"description", "encoder steps no wheel could make, left out since the start"}}}},
                       {"stamp", "x_m", "y_m", "heading_rad", "v_m_s", "omega_rad_s", "dropped_jumps"});
}

}  // namespace tavik::cli
