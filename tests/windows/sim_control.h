// The board simulator as a test under Wine reaches it: its control port, a
// serial line that takes tavik-sim's commands and answers each with a line.
// The simulator runs on the Linux side; scripts/test-windows maps its
// pseudo-terminals into the Wine prefix as the ports below.
#pragma once

#include "tests/support/processes/line_control.h"

namespace tavik::test {

// One simulator: PSB on kPsbPort, DRVB on kDrvbPort, control on kControlPort.
// A second one serves only its PSB, on kOtherPsbPort.
inline constexpr const char* kPsbPort = "COM12";
inline constexpr const char* kDrvbPort = "COM8";
inline constexpr const char* kControlPort = "COM9";
inline constexpr const char* kOtherPsbPort = "COM7";

class SimControl : public LineControl {
 public:
  SimControl() : LineControl(kControlPort) {}
};

// Whether this Windows program runs under Wine rather than on Windows.
bool under_wine();

}  // namespace tavik::test
