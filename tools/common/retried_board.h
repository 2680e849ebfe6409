// One board of a program that runs as a service (the bridge, the ROS 2
// node): polled as watch polls it, its port tried again every kOpenRetry
// while it does not open, with the link figures of the last diagnostics
// period beside those since the start (board_diagnostics.h).
#pragma once

#include <chrono>

#include "board_diagnostics.h"
#include "program_log.h"

namespace tavik::cli {

// A board whose port did not open is tried again this often.
inline constexpr auto kOpenRetry = std::chrono::seconds(2);

struct RetriedBoard : DiagnosedBoard {
  explicit RetriedBoard(Board b) : DiagnosedBoard(b) {}
  std::chrono::steady_clock::time_point next_open{};
};

// Opens the board's port; true when it is open. A port that does not open
// (missing, busy, refused) is tried again after kOpenRetry and logged once,
// and again when the reason changes; one that opens after that is logged
// too. A name that cannot be a port at all throws a usage error.
bool try_open(Session& session, RetriedBoard& board, ProgramLog& log);

}  // namespace tavik::cli
