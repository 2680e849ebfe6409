// What the programs take when they are told nothing else: the boards'
// ports, the time-out of a reply, and how often they talk to the boards.
// The tool, the bridge, the simulator and the console read them here;
// tests/python compares the Python package's with them.
#pragma once

#include <chrono>

namespace tavik {

inline constexpr const char* kDefaultPsbPort = "COM7";
inline constexpr const char* kDefaultDrvbPort = "COM8";
// How long a command waits for the board's reply.
inline constexpr int kDefaultTimeoutMs = 200;
// A drive's velocity is sent again this often, well inside the drive board's
// communication time-out (facts/drvb_facts.h, kCommErrTime).
inline constexpr std::chrono::milliseconds kVelocityPeriod{100};
// How often tavik watch and the bridge poll the boards.
inline constexpr double kDefaultPollRateHz = 5;

}  // namespace tavik
