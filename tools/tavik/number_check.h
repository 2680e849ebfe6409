// Checks of numeric option values that name the allowed range in plain
// numbers: "--rate: 0 is not in the range 0.1 to 50 polls per second".
#pragma once

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace tavik::cli {

// 0.1, 50, 2000: the shortest form of a bound.
inline std::string plain_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, value == std::floor(value) ? "%.0f" : "%g", value);
  return text;
}

// A finite number from least to most; above least only when least_excluded.
inline CLI::Validator number_in(double least, double most, const std::string& unit,
                                bool least_excluded = false) {
  const std::string range =
      (least_excluded ? "above " + plain_number(least) + " and up to " : plain_number(least) + " to ") +
      plain_number(most) + (unit.empty() ? "" : " " + unit);
  return CLI::Validator(
      [least, most, least_excluded, range](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        const bool number = !text.empty() && end != nullptr && *end == '\0' && std::isfinite(value);
        if (number && (least_excluded ? value > least : value >= least) && value <= most) return "";
        return "'" + text + "' is not " + (number ? "in the range " : "a number in the range ") + range;
      },
      "", "range");
}

}  // namespace tavik::cli
