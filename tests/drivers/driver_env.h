// Where the real-driver checks find their lines, set by the guest's check
// script (scripts/drivers/guest-checks) for one driver at a time:
//
//   TAVIK_DRIVER        the driver's name for the figures: ttyS or ttyUSB
//   TAVIK_PSB_PORT      the PSB's port name as the console builds it (COM<n>)
//   TAVIK_DRVB_PORT     the DRVB's port name
//   TAVIK_SIM_CONTROL   the control line of the simulator behind both ports
//   TAVIK_HOST_CONTROL  the line on which the host pulls and plugs adapters
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/names/port_path.h"
#include "tests/support/scenarios/request_frame.h"

namespace tavik::test {

inline std::string env_or_empty(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

struct DriverEnv {
  std::string driver = env_or_empty("TAVIK_DRIVER");
  std::string psb_port = env_or_empty("TAVIK_PSB_PORT");
  std::string drvb_port = env_or_empty("TAVIK_DRVB_PORT");
  std::string sim_control = env_or_empty("TAVIK_SIM_CONTROL");
  std::string host_control = env_or_empty("TAVIK_HOST_CONTROL");

  bool complete() const {
    return !driver.empty() && !psb_port.empty() && !drvb_port.empty() && !sim_control.empty();
  }
  static std::string device(const std::string& port) { return resolve_port_path(port.c_str()); }
};

// Skips the test outside the guest of scripts/test-drivers.
#define TAVIK_REQUIRE_DRIVER_ENV(env)                              \
  do {                                                             \
    if (!(env).complete()) {                                       \
      GTEST_SKIP() << "runs in the guest of scripts/test-drivers"; \
    }                                                              \
  } while (false)

}  // namespace tavik::test
