// What stands against driving, shared by drvb drive, check --drive and the
// bridge: the emergency stop first, then the bumpers; a wheel error apart,
// as the drive board reports it in a reply of its own.
#pragma once

#include <string>

#include "command_error.h"

namespace tavik::cli {

struct Blocked {
  const char* reason = nullptr;  // a code of reason::, null: nothing stands in the way
  std::string text;              // "left bumper closed", ...
};

// What the bumpers and the emergency stop (each 0 when open) say against driving.
Blocked blocked_by(int left_bumper, int right_bumper, int emergency);

// "wheel error left 0x01, right 0x00" when a wheel drive reports an error
// (the byte the board gives, each wheel), else "".
std::string wheel_error(int left, int right);

}  // namespace tavik::cli
