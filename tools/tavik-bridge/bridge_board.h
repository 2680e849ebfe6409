// One board of the bridge: polled as watch polls it, tried again every
// kOpenRetry while its port does not open, with the link figures of the
// last diagnostics period beside those since the start (board_diagnostics.h).
#pragma once

#include <chrono>

#include "board_diagnostics.h"

namespace tavik::cli {

// A board whose port did not open is tried again this often.
inline constexpr auto kOpenRetry = std::chrono::seconds(2);

struct BridgeBoard : DiagnosedBoard {
  explicit BridgeBoard(Board b) : DiagnosedBoard(b) {}
  std::chrono::steady_clock::time_point next_open{};
};

}  // namespace tavik::cli
