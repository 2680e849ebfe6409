// The CSV recording of watch, in the layout of recording/: the column
// names, then one row per poll from the boards' readings and, with the
// wheel separation known, the watch's odometry (polled_odometry.h).
#pragma once

#include <optional>
#include <string>

#include "output.h"
#include "recording/recording_csv.h"

namespace tavik::cli {

using recording::csv_header;
// t in seconds and the two boards' readings as read_psb and read_drvb make
// them, with "reason" set in a reading that failed; `started` in the first
// row only.
// With `odometry` (a header with its columns), the poll's pose and twist,
// or nothing for a poll whose encoders were not read.
std::string csv_row(double t, const Json& psb, const Json& drvb, const std::string& started);
std::string csv_row(double t, const Json& psb, const Json& drvb,
                    const std::optional<recording::OdometryCells>& odometry, const std::string& started);

}  // namespace tavik::cli
