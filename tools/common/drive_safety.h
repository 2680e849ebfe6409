// What stands against driving, shared by drvb drive, check --drive and the
// bridge: the drive keeper's judgement (drive/drive_safety.h), by the names
// the tools use.
#pragma once

#include "drive/drive_safety.h"

namespace tavik::cli {

using drive::Blocked;
using drive::blocked_by;
using drive::wheel_error;

}  // namespace tavik::cli
