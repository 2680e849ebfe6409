// One board of the bridge: polled as watch polls it, tried again every
// kOpenRetry while its port does not open, with the link figures of the
// last diagnostics period beside those since the start.
#pragma once

#include <chrono>

#include "board_poller.h"

namespace tavik::cli {

// A board whose port did not open is tried again this often.
inline constexpr auto kOpenRetry = std::chrono::seconds(2);

struct BridgeBoard : PolledBoard {
  explicit BridgeBoard(Board b) : PolledBoard(b) {}
  std::chrono::steady_clock::time_point next_open{};
  LinkFigures period;  // since the last diagnostics
  Result last_failure;
};

// Adds a poll's steps, made t seconds after the start, to the period's figures.
void note_period(BridgeBoard& board, const std::vector<Step>& steps, double t);

// The board's entry of the diagnostics: its level (OK, WARN, ERROR, STALE),
// a message and the figures; the period then starts anew.
Json diagnostics_entry(BridgeBoard& board);

}  // namespace tavik::cli
