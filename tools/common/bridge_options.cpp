#include "bridge_options.h"

#include "number_check.h"
#include "polled_odometry.h"

namespace tavik::cli {

void add_bridge_options(CLI::App& command, BridgeArgs& args) {
  command.add_option("--broker", args.broker, "mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883)")
      ->required();
  command
      .add_option("--name", args.name,
                  "the robot's name, its topics' level after the prefix (1 to 64 bytes of UTF-8, no '/', "
                  "'+' or '#')")
      ->required();
  command.add_flag("--allow-drive", args.allow_drive, "carry out cmd/drive (refused without it)");
  command.add_flag("--send-stop", args.send_stop,
                   "only send the drive board the stop (0,0), with the bridge's options, and end: for "
                   "its service once it ended, however it ended");
  add_number(command, "--rate", args.rate_hz, "telemetry per second (0.1 to 50, default 5)",
             {.least = 0.1, .most = 50.0, .unit = "polls per second"});
  add_number(command, "--dead-man", args.dead_man_s,
             "seconds a drive holds after its last command, then 0,0 (0.05 to 10, default 0.5)",
             {.least = 0.05, .most = 10.0, .unit = "seconds"});
  add_number(
      command, "--max-command-age", args.max_command_age_s,
      "a drive stamped this many seconds before (or after) its arrival is refused (0.05 to 60, default 1)",
      {.least = 0.05, .most = 60.0, .unit = "seconds"});
  command.add_flag("--require-stamp", args.require_stamp,
                   "refuse a cmd/drive without a stamp, whose lateness cannot be told (for a robot driven "
                   "across bridged brokers)");
  command.add_option("--username", args.username, "the broker's user name (default: the robot's --name)");
  command.add_option("--password-file", args.password_file, "a file whose first line is the password");
  command.add_option("--ca-file", args.ca_file,
                     "the CA certificate of an mqtts:// broker (default: the system's)");
  command.add_option("--cert", args.cert_file, "the client certificate, for a broker that asks for one");
  command.add_option("--key", args.key_file, "the client certificate's key");
  command.add_option("--topic-prefix", args.prefix, "the topics' first levels (default tavik)");
  add_wheel_separation_option(command, args.wheel_separation_mm, "the odometry published under odom");
}

}  // namespace tavik::cli
