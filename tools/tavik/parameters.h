// The drive board's parameters by the names the tool gives them, with the
// values the board takes: shared by param get/set, param save/restore and
// check.
#pragma once

#include <string>

namespace tavik::cli {

struct Parameter {
  const char* name;  // "max-velocity"
  int id;            // the drive board's parameter id
  const char* unit;
  int least;  // the values the board takes, bounds included
  int most;
};

inline constexpr Parameter kParameters[] = {
    {"max-velocity", 0, "mm/s", 0, 2000},
    {"comm-timeout", 1, "ms", 35, 20000},
    {"control-period", 2, "ms", 8, 1000},
};

// The parameter of that name, or null.
inline const Parameter* find_parameter(const std::string& name) {
  for (const Parameter& p : kParameters) {
    if (name == p.name) return &p;
  }
  return nullptr;
}

// "5 is not in the range 8 to 1000 ms of control-period", or "" when value fits.
inline std::string out_of_range(const Parameter& p, long long value) {
  if (value >= p.least && value <= p.most) return "";
  return std::to_string(value) + " is not in the range " + std::to_string(p.least) + " to " +
         std::to_string(p.most) + " " + p.unit + " of " + p.name;
}

}  // namespace tavik::cli
