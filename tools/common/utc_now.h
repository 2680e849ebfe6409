// The time now as the records stamp it: UTC, ISO 8601, to the millisecond.
#pragma once

#include <chrono>
#include <string>

#include "recording/recording_csv.h"

namespace tavik::cli {

inline std::string utc_now() { return recording::utc_text(std::chrono::system_clock::now()); }

}  // namespace tavik::cli
