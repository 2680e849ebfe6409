// "Save CSV…" of the Trends window: what a snapshot holds, in the columns and
// time rules of `tavik watch --csv`. The console's pollers read on their own
// clocks; reads of different pollers less than one poll period apart share a
// row, as one poll of watch does. The drive board's bumper, emergency-stop
// and wheel-error columns stay empty: the window does not hold them.
#pragma once

#include <chrono>
#include <string>

#include "console/core/trend_history.h"

namespace tavik::console {

// The whole file: the start line (the time of the first row held), the
// column names and a row per poll, each line ending in '\n'.
std::string trends_csv(const TrendSnapshot& snapshot);

// The name Save CSV… offers for a file saved at `now` (local time):
// "trends-2026-12-08-140312.csv".
std::string trends_csv_file_name(std::chrono::system_clock::time_point now);

}  // namespace tavik::console
