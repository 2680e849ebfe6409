// What the bridge says and hears on the broker, as JSON in UTF-8: the
// commands it takes, checked whole before anything is sent, and the
// telemetry it publishes (telemetry.h).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "drive_control.h"
#include "telemetry.h"

namespace tavik::cli {

// The commands, by the last part of their topic (cmd/drive, ...).
struct BridgeCommand {
  enum class Kind { kDrive, kPower, kServo, kMaxDistance, kResetErrors, kStop } kind;
  int left_mm_s = 0, right_mm_s = 0;  // drive
  unsigned device = 0;                // power: the device number
  bool on = false;                    // power, servo
  int code = 0;                       // max_distance: -1 to 8
  Json id = nullptr;                  // optional on every command: echoed in its result
  std::optional<std::chrono::system_clock::time_point> stamp{};  // optional: when it was sent
};

inline constexpr const char* kCommandNames[] = {"drive",        "power",        "servo",
                                                "max_distance", "reset_errors", "stop"};
// The fastest velocity a drive command may ask for: Max Velocity's own upper limit.
inline constexpr int kFastestMmS = 2000;

// The command in payload, or why it is refused: "usage" (not JSON as
// parse_strict_json takes it, not an object, a field missing, unknown or
// of the wrong type) or "bad-argument"
// (a value out of range), with a message naming the field. Every command
// may also give an "id" (a string, cut as names are, or a whole number),
// echoed in its result, and a "stamp" (ISO 8601 with its offset from UTC:
// 2026-12-08T12:27:39.829Z, 2026-12-08T14:27:39.829+02:00).
struct ParsedCommand {
  std::optional<BridgeCommand> command;
  CommandOutcome refusal;
};
ParsedCommand parse_command(const std::string& name, const std::string& payload);

// The JSON Schema of the payload parse_command takes for a command of
// kCommandNames (by its index there): its fields, their types and ranges.
Json command_schema(std::size_t kind);

// {"stamp": ..., "command", "ok", "reason", "message"}; a command's name
// (its topic's rest) is cut as names in messages are (cut_name).
std::string result_payload(const CommandOutcome& outcome);

// Why a command stamped more than max_age_s seconds before now (or after) is
// refused, or nothing: one without a stamp, or a recent one.
std::optional<std::string> stale_command(const BridgeCommand& command, double max_age_s);

// The instant of "2026-12-08T12:27:39.829Z" or of a local time with its
// offset from UTC, "...+02:00" ("+0200", "+02", "-05:30"; the fraction
// optional, after '.' or ','), or nothing for any other text.
std::optional<std::chrono::system_clock::time_point> parse_utc(const std::string& text);

// A name from a message (a field's, a topic's) as a result shows it: at most
// kLongestShownName bytes, cut at a character's start, with "..." after.
inline constexpr std::size_t kLongestShownName = 64;
std::string cut_name(const std::string& name);

// The retained parameters topic: each drive parameter of drvb_parameter_table
// by its name and unit ("max_velocity_mm_s"), from the values in its order.
Json parameters_payload(const std::vector<int>& values, const std::string& stamp);
// The key of drive parameter `id` in that payload.
std::string parameter_key(std::size_t id);

// What a drive board reading says against driving: a bumper, the emergency
// stop, a wheel error; nothing when all are clear or unread.
std::optional<CommandOutcome> drive_blocked(const Json& drvb);

}  // namespace tavik::cli
