// The drive board's parameters, by the id the library takes (the index):
// the tool's name, the console's label, the unit, the values the board
// takes (bounds included), the register XL reads and the registers XB
// writes (a write ends with XD). The library, tavik and the console take
// them from here; tests/python checks the Python package's copy against it.
#pragma once

#include <cstddef>
#include <span>

namespace tavik::drvb {

struct ParameterInfo {
  const char* name;
  const char* label;
  const char* unit;
  int min;
  int max;
  int read_register;
  const char* write_registers[2];  // the second may be null
};

inline constexpr ParameterInfo kParameterTable[] = {
    // A negative maximum would leave the board unable to drive.
    {"max-velocity", "Max Velocity", "mm/s", 0, 2000, 15, {"15", "16"}},
    {"comm-timeout", "Drive Comm. Err Time", "ms", 35, 20000, 30, {"30", nullptr}},
    {"control-period", "A/D Time", "ms", 8, 1000, 6, {"06", nullptr}},
};

inline constexpr std::span<const ParameterInfo> kParameters{kParameterTable};

// The parameter of a library id, null for any other id.
constexpr const ParameterInfo* find_parameter(int id) {
  return id >= 0 && static_cast<std::size_t>(id) < kParameters.size()
             ? &kParameters[static_cast<std::size_t>(id)]
             : nullptr;
}

}  // namespace tavik::drvb
