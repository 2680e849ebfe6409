#include "messages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "drive_safety.h"
#include "facts/drvb_facts.h"
#include "facts/psb_facts.h"
#include "strict_json.h"
#include "telemetry_schemas.h"
#include "utc_now.h"

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
    {{"code", Field::Type::kInteger, psb::kLeastMaxDist, psb::kMostMaxDist}},
    {},
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

namespace {

// The command's own fields, after what every command may give (id, stamp).
ParsedCommand parse_fields(const std::string& name, std::size_t kind, const Json& json) {
  const std::vector<Field>& fields = kFields[kind];
  for (const auto& [key, value] : json.items()) {
    bool known = key == "id" || key == "stamp";
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

}  // namespace

Json command_schema(std::size_t kind) {
  Json properties = Json::object();
  Json required = Json::array();
  for (const Field& f : kFields[kind]) {
    switch (f.type) {
      case Field::Type::kInteger:
        properties[f.name] = {{"type", "integer"}, {"minimum", f.least}, {"maximum", f.most}};
        break;
      case Field::Type::kBool:
        properties[f.name] = {{"type", "boolean"}};
        break;
      case Field::Type::kDevice:
        properties[f.name] = {
            {"enum", Json(std::vector<std::string>(std::begin(kPsbDevices), std::end(kPsbDevices)))}};
        break;
    }
    required.push_back(f.name);
  }
  properties["id"] = {{"type", {"string", "integer"}}, {"description", "echoed in the command's cmd/result"}};
  properties["stamp"] = {{"type", "string"}, {"format", "date-time"}, {"description", "when it was sent"}};
  return object_schema(kCommandNames[kind], std::move(properties), std::move(required));
}

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
  Json id = json.value("id", Json());
  if (id.is_string()) id = cut_name(id.get<std::string>());
  if (!id.is_null() && !id.is_string() && !id.is_number_integer())
    return {std::nullopt, refused(name, reason::kUsage, "'id' is not a string or a whole number")};
  std::optional<std::chrono::system_clock::time_point> stamp;
  if (json.contains("stamp")) {
    const Json& text = json.at("stamp");
    if (text.is_string()) stamp = parse_utc(text.get<std::string>());
    if (!stamp) {
      CommandOutcome outcome = refused(name, reason::kUsage,
                                       "'stamp' is not an ISO 8601 time with its offset, as "
                                       "2026-12-08T12:27:39.829Z or 2026-12-08T13:27:39.829+01:00");
      outcome.id = id;
      return {std::nullopt, outcome};
    }
  }
  ParsedCommand fields = parse_fields(name, kind, json);
  fields.refusal.id = id;
  if (fields.command) {
    fields.command->id = id;
    fields.command->stamp = stamp;
  }
  return fields;
}

std::optional<std::string> stale_command(const BridgeCommand& command, double max_age_s) {
  if (!command.stamp) return std::nullopt;
  const double age = std::chrono::duration<double>(std::chrono::system_clock::now() - *command.stamp).count();
  if (std::abs(age) <= max_age_s) return std::nullopt;
  char text[160];
  std::snprintf(text, sizeof text,
                "stamped %.1f s %s its arrival, more than --max-command-age %g s: not carried out",
                std::abs(age), age > 0 ? "before" : "after", max_age_s);
  return text;
}

namespace {

// The whole number of `digits` digits at text[at], or -1.
int digits_at(const std::string& text, std::size_t at, std::size_t digits) {
  if (at + digits > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::optional<std::chrono::system_clock::time_point> parse_utc(const std::string& text) {
  // YYYY-MM-DDThh:mm:ss, each field all digits.
  const int year = digits_at(text, 0, 4), month = digits_at(text, 5, 2), day = digits_at(text, 8, 2),
            hour = digits_at(text, 11, 2), minute = digits_at(text, 14, 2), second = digits_at(text, 17, 2);
  if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 || text[4] != '-' ||
      text[7] != '-' || (text[10] != 'T' && text[10] != 't') || text[13] != ':' || text[16] != ':')
    return std::nullopt;
  std::size_t at = 19;
  double fraction = 0, scale = 0.1;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    ++at;
    const std::size_t digits = at;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10)
      fraction += (text[at] - '0') * scale;
    if (at == digits) return std::nullopt;
  }
  // Z, or the offset from UTC: +hh:mm, +hhmm or +hh (or -).
  int offset_minutes = 0;
  if (at == text.size()) return std::nullopt;  // a local time: no instant without its offset
  if (at + 1 == text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    ++at;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    const int sign = text[at] == '-' ? -1 : 1;
    const std::size_t rest = text.size() - at - 1;
    const bool colon = rest == 5 && text[at + 3] == ':';
    const int hours = digits_at(text, at + 1, 2);
    const int minutes = rest == 2 ? 0 : digits_at(text, at + (colon ? 4 : 3), 2);
    if ((rest != 2 && rest != 4 && !colon) || hours < 0 || hours > 23 || minutes < 0 || minutes > 59)
      return std::nullopt;
    offset_minutes = sign * (hours * 60 + minutes);
    at = text.size();
  }
  if (at != text.size()) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(year),
                                         std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  // The local time less its offset is the instant in UTC.
  const auto time = std::chrono::sys_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
                    std::chrono::seconds(second) - std::chrono::minutes(offset_minutes) +
                    std::chrono::duration_cast<std::chrono::system_clock::duration>(
                        std::chrono::duration<double>(fraction));
  return std::chrono::time_point_cast<std::chrono::system_clock::duration>(time);
}

std::string cut_name(const std::string& name) {
  if (name.size() <= kLongestShownName) return name;
  std::size_t end = kLongestShownName;
  // Back to the first byte of a UTF-8 character (not 10xxxxxx).
  while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end) + "...";
}

std::string result_payload(const CommandOutcome& outcome) {
  Json result{{"stamp", utc_now()},
              {"command", cut_name(outcome.command)},
              {"ok", outcome.ok()},
              {"reason", outcome.reason}};
  if (!outcome.message.empty()) result["message"] = outcome.message;
  if (!outcome.id.is_null()) result["id"] = outcome.id;
  // Topics and JSON strings are UTF-8 already; a stray byte is replaced, never thrown on.
  return result.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string parameter_key(std::size_t id) {
  std::string key = std::string(drvb::kParameters[id].name) + "_" + drvb::kParameters[id].unit;
  std::replace_if(
      key.begin(), key.end(), [](char c) { return c == '-' || c == '/'; }, '_');
  return key;
}

Json parameters_payload(const std::vector<int>& values, const std::string& stamp) {
  Json payload{{"stamp", stamp}};
  for (std::size_t i = 0; i < values.size() && i < drvb::kParameters.size(); ++i)
    payload[parameter_key(i)] = values[i];
  return payload;
}

std::optional<CommandOutcome> drive_blocked(const Json& drvb) {
  const auto flag = [&](const char* pointer) {
    const Json::json_pointer at(pointer);
    return drvb.contains(at) && drvb.at(at).get<bool>() ? 1 : 0;
  };
  const auto error = [&](const char* pointer) {
    const Json::json_pointer at(pointer);
    return drvb.contains(at) ? drvb.at(at).get<int>() : 0;
  };
  const Blocked blocked = blocked_by(flag("/bumpers/left"), flag("/bumpers/right"), flag("/emergency_stop"));
  // The bridge names no bumper: its readings say which.
  if (blocked.reason != nullptr)
    return CommandOutcome{
        "drive", blocked.reason,
        std::string_view(blocked.reason) == reason::kBumperClosed ? "a bumper is closed" : blocked.text};
  if (const std::string text = wheel_error(error("/wheel_errors/left"), error("/wheel_errors/right"));
      !text.empty())
    return CommandOutcome{"drive", reason::kWheelError, text + " (cmd/reset_errors clears it)"};
  return std::nullopt;
}

}  // namespace tavik::cli
