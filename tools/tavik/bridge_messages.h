// What the bridge says and hears on the broker, as JSON in UTF-8: the
// commands it takes, checked whole before anything is sent, and the
// telemetry it publishes (telemetry.h).
#pragma once

#include <optional>
#include <string>

#include "bridge_drive.h"

namespace tavik::cli {

// The commands, by the last part of their topic (cmd/drive, ...).
struct BridgeCommand {
  enum class Kind { kDrive, kPower, kServo, kMaxDistance, kResetErrors } kind;
  int left_mm_s = 0, right_mm_s = 0;  // drive
  unsigned device = 0;                // power: the device number
  bool on = false;                    // power, servo
  int code = 0;                       // max_distance: -1 to 8
};

inline constexpr const char* kCommandNames[] = {"drive", "power", "servo", "max_distance", "reset_errors"};
// The fastest velocity a drive command may ask for: Max Velocity's own upper limit.
inline constexpr int kFastestMmS = 2000;

// The command in payload, or why it is refused: "usage" (not JSON as
// parse_strict_json takes it, not an object, a field missing, unknown or
// of the wrong type) or "bad-argument"
// (a value out of range), with a message naming the field.
struct ParsedCommand {
  std::optional<BridgeCommand> command;
  CommandOutcome refusal;
};
ParsedCommand parse_command(const std::string& name, const std::string& payload);

// {"stamp": ..., "command", "ok", "reason", "message"}; a command's name
// (its topic's rest) is cut as names in messages are (cut_name).
std::string result_payload(const CommandOutcome& outcome);

// A name from a message (a field's, a topic's) as a result shows it: at most
// kLongestShownName bytes, cut at a character's start, with "..." after.
inline constexpr std::size_t kLongestShownName = 64;
std::string cut_name(const std::string& name);

// What a drive board reading says against driving: a bumper, the emergency
// stop, a wheel error; nothing when all are clear or unread.
std::optional<CommandOutcome> drive_blocked(const Json& drvb);

}  // namespace tavik::cli
