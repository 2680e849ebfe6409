#include "drive_safety.h"

#include <cstdio>

namespace tavik::cli {

Blocked blocked_by(int left_bumper, int right_bumper, int emergency) {
  if (emergency != 0) return {reason::kEmergencyStop, "emergency stop closed"};
  if (left_bumper != 0 && right_bumper != 0) return {reason::kBumperClosed, "both bumpers closed"};
  if (left_bumper != 0) return {reason::kBumperClosed, "left bumper closed"};
  if (right_bumper != 0) return {reason::kBumperClosed, "right bumper closed"};
  return {};
}

std::string wheel_error(int left, int right) {
  if (left == 0 && right == 0) return "";
  char text[64];
  std::snprintf(text, sizeof text, "wheel error left 0x%02x, right 0x%02x", static_cast<unsigned char>(left),
                static_cast<unsigned char>(right));
  return text;
}

}  // namespace tavik::cli
