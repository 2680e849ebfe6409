// The CSV recording of watch: one row per poll, a column per reading; a
// reading that failed leaves its cells empty.
#pragma once

#include <string>

#include "output.h"

namespace tavik::cli {

std::string csv_header();
// t in seconds and the two boards' readings as read_psb and read_drvb make them.
std::string csv_row(double t, const Json& psb, const Json& drvb);

}  // namespace tavik::cli
