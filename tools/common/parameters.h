// The drive board's parameters by the names the tool gives them, with the
// values the board takes, as the drive parameter table gives them: shared by
// param get/set, param save/restore and check.
#pragma once

#include <array>
#include <iterator>
#include <string>

#include "facts/drvb_facts.h"

namespace tavik::cli {

struct Parameter {
  const char* name;  // "max-velocity"
  int id;            // the library's parameter id
  const char* unit;
  int least;  // the values the board takes, bounds included
  int most;
};

inline constexpr auto kParameters = [] {
  std::array<Parameter, std::size(drvb::kParameterTable)> rows{};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const drvb::ParameterInfo& p = drvb::kParameterTable[i];
    rows[i] = {p.name, static_cast<int>(i), p.unit, p.min, p.max};
  }
  return rows;
}();

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
