#include "polled_odometry.h"

#include <algorithm>

#include "number_check.h"

namespace tavik::cli {

std::optional<odometry::Step> PolledOdometry::add(const Json& drvb, const std::vector<Step>& steps,
                                                  double t) {
  if (std::any_of(steps.begin(), steps.end(), [](const Step& s) { return is_port_loss(s.result.failure); }))
    odometry_.restart();
  const auto encoders = drvb.find("encoders");
  if (encoders == drvb.end()) return std::nullopt;
  using Clock = odometry::WheelOdometry::Clock;
  const auto at =
      Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(t)));
  return odometry_.add((*encoders)["left"].get<std::int32_t>(), (*encoders)["right"].get<std::int32_t>(), at);
}

recording::OdometryCells PolledOdometry::cells() const {
  const odometry::Pose& pose = odometry_.pose();
  const odometry::Twist& twist = odometry_.twist();
  return {pose.x_m, pose.y_m, pose.heading_rad, twist.linear_m_s, twist.angular_rad_s, odometry_.dropped()};
}

void add_wheel_separation_option(CLI::App& command, std::optional<double>& value, const std::string& use) {
  add_number(command, "--wheel-separation-mm", value,
             "the distance between the wheels, for " + use + "; the simulated robot's with --simulate",
             {.least = 0.0, .most = 10000.0, .unit = "mm", .least_excluded = true});
}

}  // namespace tavik::cli
