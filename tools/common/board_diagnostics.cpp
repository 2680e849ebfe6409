#include "board_diagnostics.h"

namespace tavik::cli {

void note_period(DiagnosedBoard& board, const std::vector<Step>& steps, double t) {
  board.period.add(steps, t);
  for (const Step& step : steps) {
    if (!step.result.is_ok()) board.last_failure = step.result;
  }
}

Json diagnostics_entry(DiagnosedBoard& board) {
  const BoardConnection* connection = board.connection.load();
  Json entry{{"name", board_name(board.board)}};
  const Json period = board.period.summary(0, 0);
  const Json all = board.figures.summary(0, late_replies(board));
  int failures = 0, period_failures = 0;
  for (const auto& [reason, count] : all["failures"].items()) failures += count.get<int>();
  for (const auto& [reason, count] : period["failures"].items()) period_failures += count.get<int>();
  const int exchanges = period["exchanges"].get<int>();
  if (connection == nullptr) {
    entry["level"] = "ERROR";
    entry["message"] = board.left_out ? "not open: " + board.left_out->detail : std::string("not open");
  } else if (exchanges == 0) {
    entry["level"] = "STALE";
    entry["message"] = "no reading in the last second";
  } else if (period_failures == 0) {
    entry["level"] = "OK";
    entry["message"] = "ok";
  } else {
    entry["level"] = period_failures == exchanges ? "ERROR" : "WARN";
    entry["message"] = describe(board.last_failure);
  }
  entry["values"] = {
      {"round_trip_ms", period.contains("round_trip_ms") ? period["round_trip_ms"]["median"] : Json()},
      {"exchanges", all["exchanges"]},
      {"failures", failures},
      {"reopened", all["lost"]["returns"]},
      {"late_replies", all["late_replies"]}};
  board.period = LinkFigures();
  return entry;
}

}  // namespace tavik::cli
