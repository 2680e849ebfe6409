#include "bridge_messages.h"

#include <cstdio>
#include <iterator>

#include "drvb/encoder_scale.h"
#include "strict_json.h"

namespace tavik::cli {
namespace {

struct Field {
  const char* name;
  enum class Type { kInteger, kBool, kDevice } type;
  int least = 0, most = 0;  // for kInteger
};

// The fields of each command, all required, in kCommandNames' order.
const std::vector<Field> kFields[] = {
    {{"left_mm_s", Field::Type::kInteger, -kFastestMmS, kFastestMmS},
     {"right_mm_s", Field::Type::kInteger, -kFastestMmS, kFastestMmS}},
    {{"device", Field::Type::kDevice}, {"on", Field::Type::kBool}},
    {{"on", Field::Type::kBool}},
    {{"code", Field::Type::kInteger, -1, 8}},
    {},
};

CommandOutcome refused(const std::string& name, const char* reason, std::string message) {
  return {name, reason, std::move(message)};
}

// The list "drive, sensors, ..." of what a field takes.
std::string devices_text() {
  std::string text;
  for (const char* device : kPsbDevices) text += (text.empty() ? "" : ", ") + std::string(device);
  return text;
}

}  // namespace

ParsedCommand parse_command(const std::string& name, const std::string& payload) {
  std::size_t kind = 0;
  while (kind < std::size(kCommandNames) && name != kCommandNames[kind]) ++kind;
  if (kind == std::size(kCommandNames))
    return {std::nullopt, refused(name, reason::kUsage, "no such command")};
  // Not JSON, a key given twice, a number out of a double's range or a NUL byte.
  const StrictJson parsed = parse_strict_json(payload);
  if (!parsed.error.empty())
    return {std::nullopt, refused(name, reason::kUsage, "the payload: " + parsed.error)};
  const Json& json = parsed.value;
  if (!json.is_object())
    return {std::nullopt, refused(name, reason::kUsage, "the payload is not a JSON object")};
  const std::vector<Field>& fields = kFields[kind];
  for (const auto& [key, value] : json.items()) {
    bool known = false;
    for (const Field& f : fields) known = known || key == f.name;
    if (!known) return {std::nullopt, refused(name, reason::kUsage, "unknown field '" + cut_name(key) + "'")};
  }
  BridgeCommand command{static_cast<BridgeCommand::Kind>(kind)};
  std::vector<int> numbers;
  for (const Field& f : fields) {
    if (!json.contains(f.name))
      return {std::nullopt, refused(name, reason::kUsage, std::string("missing field '") + f.name + "'")};
    const Json& value = json.at(f.name);
    const std::string field = std::string("'") + f.name + "'";
    switch (f.type) {
      case Field::Type::kBool:
        if (!value.is_boolean())
          return {std::nullopt, refused(name, reason::kUsage, field + " is not true or false")};
        command.on = value.get<bool>();
        break;
      case Field::Type::kDevice: {
        if (!value.is_string())
          return {std::nullopt, refused(name, reason::kUsage, field + " is not a string")};
        const std::string device = value.get<std::string>();
        std::size_t n = 0;
        while (n < std::size(kPsbDevices) && device != kPsbDevices[n]) ++n;
        if (n == std::size(kPsbDevices))
          return {std::nullopt, refused(name, failure_row(Failure::kBadArgument).reason,
                                        field + " '" + device + "' is none of " + devices_text())};
        command.device = static_cast<unsigned>(n);
        break;
      }
      case Field::Type::kInteger: {
        if (!value.is_number_integer())
          return {std::nullopt, refused(name, reason::kUsage, field + " is not a whole number")};
        const bool in_range =
            value.is_number_unsigned()
                ? value.get<std::uint64_t>() <= static_cast<std::uint64_t>(f.most)
                : value.get<std::int64_t>() >= f.least && value.get<std::int64_t>() <= f.most;
        if (!in_range)
          return {std::nullopt, refused(name, failure_row(Failure::kBadArgument).reason,
                                        field + " " + value.dump() + " is not in the range " +
                                            std::to_string(f.least) + " to " + std::to_string(f.most))};
        numbers.push_back(static_cast<int>(value.get<std::int64_t>()));
        break;
      }
    }
  }
  if (command.kind == BridgeCommand::Kind::kDrive) {
    command.left_mm_s = numbers[0];
    command.right_mm_s = numbers[1];
  } else if (command.kind == BridgeCommand::Kind::kMaxDistance) {
    command.code = numbers[0];
  }
  return {command, CommandOutcome{name, "ok", ""}};
}

std::string cut_name(const std::string& name) {
  if (name.size() <= kLongestShownName) return name;
  std::size_t end = kLongestShownName;
  // Back to the first byte of a UTF-8 character (not 10xxxxxx).
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end) + "...";
}

std::string result_payload(const CommandOutcome& outcome) {
  Json result{{"stamp", recording::utc_text(std::chrono::system_clock::now())},
              {"command", cut_name(outcome.command)},
              {"ok", outcome.ok()},
              {"reason", outcome.reason}};
  if (!outcome.message.empty()) result["message"] = outcome.message;
  // Topics and JSON strings are UTF-8 already; a stray byte is replaced, never thrown on.
  return result.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<CommandOutcome> drive_blocked(const Json& drvb) {
  if (drvb.value("emergency_stop", false))
    return CommandOutcome{"drive", reason::kEmergencyStop, "emergency stop closed"};
  if (drvb.contains("bumpers") &&
      (drvb["bumpers"]["left"].get<bool>() || drvb["bumpers"]["right"].get<bool>()))
    return CommandOutcome{"drive", reason::kBumperClosed, "a bumper is closed"};
  if (drvb.contains("wheel_errors") &&
      (drvb["wheel_errors"]["left"].get<int>() != 0 || drvb["wheel_errors"]["right"].get<int>() != 0)) {
    char text[96];
    std::snprintf(text, sizeof text, "wheel error left 0x%02x, right 0x%02x (cmd/reset_errors clears it)",
                  drvb["wheel_errors"]["left"].get<int>(), drvb["wheel_errors"]["right"].get<int>());
    return CommandOutcome{"drive", reason::kWheelError, text};
  }
  return std::nullopt;
}

}  // namespace tavik::cli
