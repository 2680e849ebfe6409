// A polled board's diagnostics, as the bridge publishes them and tavik
// watch --mcap records them: its level (OK, WARN, ERROR, STALE), a message
// and its link figures, from the exchanges since the last entry and since
// the start.
#pragma once

#include <vector>

#include "board_poller.h"

namespace tavik::cli {

struct DiagnosedBoard : PolledBoard {
  explicit DiagnosedBoard(Board b) : PolledBoard(b) {}
  LinkFigures period;  // since the last diagnostics
  Result last_failure;
};

// Adds a poll's steps, made t seconds after the start, to the period's figures.
void note_period(DiagnosedBoard& board, const std::vector<Step>& steps, double t);

// The board's entry of the diagnostics: {"name", "level", "message",
// "values": {"round_trip_ms", "exchanges", "failures", "reopened",
// "late_replies"}}; the period then starts anew.
Json diagnostics_entry(DiagnosedBoard& board);

}  // namespace tavik::cli
