#include "board_diagnostics.h"

namespace tavik::cli {

Json board_diagnostics(const BoardLink& link) {
  Json entry{{"name", board_name(link.board)}};
  const Json period = link.period->summary(0, 0);
  const Json all = link.all->summary(0, link.late_replies);
  int failures = 0, period_failures = 0;
  for (const auto& [reason, count] : all["failures"].items()) failures += count.get<int>();
  for (const auto& [reason, count] : period["failures"].items()) period_failures += count.get<int>();
  const int exchanges = period["exchanges"].get<int>();
  if (!link.open) {
    entry["level"] = "ERROR";
    entry["message"] = link.not_open.empty() ? std::string("not open") : "not open: " + link.not_open;
  } else if (exchanges == 0) {
    entry["level"] = "STALE";
    entry["message"] = "no reading in the last second";
  } else if (period_failures == 0) {
    entry["level"] = "OK";
    entry["message"] = "ok";
  } else {
    entry["level"] = period_failures == exchanges ? "ERROR" : "WARN";
    entry["message"] = describe(link.last_failure);
  }
  entry["values"] = {
      {"round_trip_ms", period.contains("round_trip_ms") ? period["round_trip_ms"]["median"] : Json()},
      {"exchanges", all["exchanges"]},
      {"failures", failures},
      {"reopened", all["lost"]["returns"]},
      {"late_replies", all["late_replies"]}};
  return entry;
}

}  // namespace tavik::cli
