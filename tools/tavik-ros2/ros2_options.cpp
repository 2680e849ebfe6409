#include "ros2_options.h"

#include <cstdlib>

#include "command_error.h"
#include "number_check.h"

namespace tavik::cli {

void add_ros2_options(CLI::App& app, Ros2Args& args) {
  app.add_flag("--allow-drive", args.allow_drive,
               "drive the wheels from cmd_vel (without it cmd_vel is read and nothing is sent)");
  app.add_flag("--send-stop", args.send_stop,
               "only send the drive board the stop (0,0) and end: for the node's service once it ended, "
               "however it ended");
  add_number(app, "--domain-id", args.domain_id, "the DDS domain (0 to 232; default ROS_DOMAIN_ID, else 0)",
             {.least = 0.0, .most = double(kMostDomainId), .unit = ""});
  app.add_option("--namespace", args.ros_namespace,
                 "put the topics under /NS/ and prefix the frames with NS/ (letters, digits, '_', '/')");
  add_number(
      app, "--odom-rate", args.odom_rate_hz,
      "odometry, transforms and joint states per second: the drive board's polls (1 to 50, default 20)",
      {.least = 1.0, .most = 50.0, .unit = "per second"});
  add_number(app, "--cmd-vel-timeout", args.cmd_vel_timeout_s,
             "seconds a cmd_vel holds, then 0,0 (0.05 to 10, default 0.5)",
             {.least = 0.05, .most = 10.0, .unit = "seconds"});
  add_number(app, "--wheel-separation-mm", args.wheel_separation_mm,
             "the distance between the wheels, for the odometry and cmd_vel (required but with --simulate, "
             "which takes the simulated robot's)",
             {.least = 0.0, .most = 10000.0, .unit = "mm", .least_excluded = true});
  app.add_option("--joint-names", args.joint_names,
                 "the wheels' joints in joint_states, left then right (default left_wheel_joint "
                 "right_wheel_joint)")
      ->expected(2)
      ->delimiter(',');
}

int domain_id(const Ros2Args& args) {
  if (args.domain_id) return *args.domain_id;
  const char* text = std::getenv("ROS_DOMAIN_ID");
  if (text == nullptr || *text == '\0') return 0;
  const std::optional<double> value = read_decimal(text, false);
  if (!value || *value != static_cast<int>(*value) || *value < 0 || *value > kMostDomainId)
    throw CommandError::usage(std::string("ROS_DOMAIN_ID '") + text + "' is not a domain id (0 to " +
                              std::to_string(kMostDomainId) + ")");
  return static_cast<int>(*value);
}

}  // namespace tavik::cli
