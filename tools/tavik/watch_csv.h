// The CSV recording of watch: a line with the start time, the column names,
// then one row per poll, a column per reading and a reason column per board
// that says why its empty cells are empty.
#pragma once

#include <string>

#include "output.h"
#include "tools/recording/recording_csv.h"

namespace tavik::cli {

// "# started 2026-12-07T18:24:01.123Z" and the line of column names.
std::string csv_header(const std::string& started);
// t in seconds and the two boards' readings as read_psb and read_drvb make
// them, with "reason" set in a reading that failed.
std::string csv_row(double t, const Json& psb, const Json& drvb);

}  // namespace tavik::cli
