#include "summary.h"

#include <cmath>

#include "messages.h"
#include "telemetry_schemas.h"

namespace tavik::cli {
namespace {

int badness(const Json& level) {
  for (std::size_t i = 0; i < kDiagnosticsLevels.size(); ++i)
    if (level == kDiagnosticsLevels[i]) return static_cast<int>(i);
  return static_cast<int>(kDiagnosticsLevels.size()) - 1;
}

// To 1/per of a unit, as the nearest double to the decimal (24.1, not 24.100000000000001).
double rounded(double value, double per) { return std::round(value * per) / per; }

}  // namespace

Json summary_content(const SummarySource& source) {
  Json content{{"online", source.online}};
  if (source.psb.contains("battery_mv"))
    content["battery_v"] = rounded(source.psb["battery_mv"].get<double>() / 1000, 10);
  Json levels = Json::object();
  std::string reason;
  int worst = 0;
  if (source.boards.is_array()) {
    for (const Json& board : source.boards) {
      levels[board["name"].get<std::string>()] = board["level"];
      if (const int bad = badness(board["level"]); bad > worst) {
        worst = bad;
        reason = board["message"].get<std::string>();
      }
    }
  }
  content["boards"] = levels;
  for (const char* key : {"bumpers", "emergency_stop", "wheel_errors"})
    if (source.drvb.contains(key)) content[key] = source.drvb[key];
  const auto blocked = drive_blocked(source.drvb);
  if (reason.empty() && blocked) reason = blocked->reason;
  if (!reason.empty()) content["reason"] = reason;
  content["drive"] = source.drive_allowed && source.drvb.contains("bumpers") && !blocked;
  if (source.pose)
    content["pose"] = {{"x_m", rounded(source.pose->x_m, 100)},
                       {"y_m", rounded(source.pose->y_m, 100)},
                       {"heading_rad", rounded(source.pose->heading_rad, 100)}};
  return content;
}

Json summary_schema() {
  return object_schema(
      "Summary",
      {{"stamp", {{"type", "string"}, {"format", "date-time"}}},
       {"online", {{"type", "boolean"}}},
       {"battery_v", number_schema("V, to 0.1")},
       {"boards",
        {{"type", "object"},
         {"additionalProperties", {{"enum", kDiagnosticsLevels}}},
         {"description", "each board's diagnostics level"}}},
       {"reason",
        {{"type", "string"}, {"description", "the worst board's message, or what stops the drive"}}},
       {"bumpers", pair_schema("boolean")},
       {"emergency_stop", {{"type", "boolean"}}},
       {"wheel_errors", pair_schema("integer")},
       {"drive", {{"type", "boolean"}, {"description", "allowed, and nothing stops it"}}},
       {"pose",
        {{"type", "object"},
         {"properties",
          {{"x_m", number_schema("m")},
           {"y_m", number_schema("m")},
           {"heading_rad", number_schema("rad")}}}}}},
      {"stamp", "online", "boards", "drive"});
}

std::string summary_change_key(const Json& content) {
  Json watched = content;
  watched.erase("pose");
  return watched.dump();
}

bool SummaryPacer::due(const std::string& content, Clock::time_point now) {
  const bool send =
      !sent_ || (content != content_ && now - *sent_ >= kLeastGap) || now - *sent_ >= kHeartbeat;
  if (send) {
    sent_ = now;
    content_ = content;
  }
  return send;
}

}  // namespace tavik::cli
