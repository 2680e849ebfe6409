// tavik-bridge's own options, beside the global ones: the same whether it
// runs as tavik-bridge or as `tavik bridge` (whose command tree takes them
// for its help and completion).
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "facts/defaults.h"

namespace tavik::cli {

struct BridgeArgs {
  std::string broker;
  std::string name;
  bool allow_drive = false;
  bool send_stop = false;
  double rate_hz = kDefaultPollRateHz;
  double dead_man_s = 0.5;
  double max_command_age_s = 1;
  bool require_stamp = false;  // a drive without a stamp is refused
  std::string username;
  std::string password_file;
  std::string ca_file, cert_file, key_file;
  std::string prefix = "tavik";
  std::optional<double> wheel_separation_mm;  // for the odom topic
};

// The bridge's one-line description, as help lists it.
inline constexpr const char* kBridgeSummary =
    "Put the robot on an MQTT broker: readings, diagnostics and state out, commands in";

// Adds the bridge's options to command, bound to args.
void add_bridge_options(CLI::App& command, BridgeArgs& args);

}  // namespace tavik::cli
