// A board's entry in the diagnostics the bridge publishes and tavik watch
// records: its level (OK, WARN, ERROR, STALE), a message and its link
// figures, from the exchanges since the last entry and since the start.
#pragma once

#include <optional>
#include <string>

#include "link_figures.h"
#include "options.h"

namespace tavik::cli {

struct BoardLink {
  Board board;
  bool open = false;
  std::string not_open;                 // why the port did not open, for a board not open
  const LinkFigures* period = nullptr;  // since the last entry
  const LinkFigures* all = nullptr;     // since the start
  unsigned late_replies = 0;
  Result last_failure;  // the last failed step's
};

// {"name", "level", "message", "values": {"round_trip_ms", "exchanges",
// "failures", "reopened", "late_replies"}}
Json board_diagnostics(const BoardLink& link);

}  // namespace tavik::cli
