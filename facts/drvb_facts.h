// The drive board: its parameter registers, the drive parameters over them
// by the id the library takes (the index: the tool's name, the console's
// label, the unit, the values the board takes, bounds included, the register
// XL reads and the registers XB writes; a write ends with XD), and its
// encoders. The library, the simulator, tavik, the bridge and the console
// read them here; tests/python compares the Python package's copy with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavik::drvb {

// A parameter register: its number and the value it holds as the board is
// delivered (until XD stores another).
struct Register {
  int number;
  std::int32_t delivered;
};

inline constexpr Register kMaxVelocityForward{15, 1000};   // mm/s
inline constexpr Register kMaxVelocityBackward{16, 1000};  // mm/s
inline constexpr Register kCommErrTime{30, 500};           // ms: no BE for this long stops the wheels
inline constexpr Register kAdTime{6, 10};                  // ms

struct ParameterInfo {
  const char* name;
  const char* label;
  const char* unit;
  int min;
  int max;
  const Register* read_register;
  const Register* write_registers[2];  // the second may be null
};

inline constexpr ParameterInfo kParameterTable[] = {
    // A negative maximum would leave the board unable to drive.
    {"max-velocity",
     "Max Velocity",
     "mm/s",
     0,
     2000,
     &kMaxVelocityForward,
     {&kMaxVelocityForward, &kMaxVelocityBackward}},
    {"comm-timeout", "Drive Comm. Err Time", "ms", 35, 20000, &kCommErrTime, {&kCommErrTime, nullptr}},
    {"control-period", "A/D Time", "ms", 8, 1000, &kAdTime, {&kAdTime, nullptr}},
};

inline constexpr std::span<const ParameterInfo> kParameters{kParameterTable};

// The library's id of Max Velocity (kParameterTable's first row): a drive
// faster than it sets a wheel error instead of moving.
inline constexpr int kMaxVelocityId = 0;

// How often a stop (0,0) is sent in a row while it goes unanswered.
inline constexpr int kStopAttempts = 3;

// The parameter of a library id, null for any other id.
constexpr const ParameterInfo* find_parameter(int id) {
  return id >= 0 && static_cast<std::size_t>(id) < kParameters.size()
             ? &kParameters[static_cast<std::size_t>(id)]
             : nullptr;
}

// How far the encoder counts go: 5 counts per millimetre of travel (a 400 mm
// wheel circumference, 2000 counts a turn).
inline constexpr double kEncoderCountsPerMm = 5;
inline constexpr double kWheelCircumferenceMm = 400;
inline constexpr double kEncoderCountsPerTurn = kEncoderCountsPerMm * kWheelCircumferenceMm;

// The counts travelled from `before` to `after`; the counters wrap at 32 bits.
constexpr std::int32_t count_delta(std::int32_t before, std::int32_t after) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(after) - static_cast<std::uint32_t>(before));
}

}  // namespace tavik::drvb
