// What stands against driving, for the keeper and every program that tells
// of it: the emergency stop first, then the bumpers; a wheel error apart,
// as the drive board reports it in a reply of its own.
#pragma once

#include <cstdio>
#include <string>

namespace tavik::drive {

// The reason codes the programs give for them (the tool's reason::).
inline constexpr const char* kBumperClosedReason = "bumper-closed";
inline constexpr const char* kEmergencyStopReason = "emergency-stop";
inline constexpr const char* kWheelErrorReason = "wheel-error";

struct Blocked {
  const char* reason = nullptr;  // one of the codes above, null: nothing stands in the way
  std::string text;              // "left bumper closed", ...
};

// What the bumpers and the emergency stop (each 0 when open) say against driving.
inline Blocked blocked_by(int left_bumper, int right_bumper, int emergency) {
  if (emergency != 0) return {kEmergencyStopReason, "emergency stop closed"};
  if (left_bumper != 0 && right_bumper != 0) return {kBumperClosedReason, "both bumpers closed"};
  if (left_bumper != 0) return {kBumperClosedReason, "left bumper closed"};
  if (right_bumper != 0) return {kBumperClosedReason, "right bumper closed"};
  return {};
}

// "wheel error left 0x01, right 0x00" when a wheel drive reports an error
// (the byte the board gives, each wheel), else "".
inline std::string wheel_error(int left, int right) {
  if (left == 0 && right == 0) return "";
  char text[64];
  std::snprintf(text, sizeof text, "wheel error left 0x%02x, right 0x%02x", static_cast<unsigned char>(left),
                static_cast<unsigned char>(right));
  return text;
}

}  // namespace tavik::drive
