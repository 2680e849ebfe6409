// The drive itself, shared by drvb drive and check --drive: the wheel
// velocities every 100 ms for a time, then always the stop (0,0), also on a
// stop request, a bumper, the emergency stop, a wheel error or a failed
// exchange. The caller has checked that the drive may start.
#pragma once

#include <chrono>
#include <string>

#include "serial/board_connection.h"

namespace tavik::cli {

struct DriveRun {
  std::string ended = "time";         // what ended it: "time", "SIGINT", "left bumper closed", ...
  const char* stop_reason = nullptr;  // a reason code when a safety stop ended it
  Result failure;                     // a failed exchange of the drive, or ok
  std::string failed_step;
  Result stop;  // the stop's own result
  int sent = 0;
  std::chrono::milliseconds driven{0};
  int stop_request = 0;  // the stop request that ended it, or 0

  bool lost() const {
    return failure.failure == Failure::kDeviceLost || failure.failure == Failure::kConnectionLost;
  }
};

// Drives at left,right for seconds (at most 10), then stops; reads the wheel
// errors once more after the stop.
DriveRun drive_for(BoardConnection& connection, int left, int right, double seconds);

}  // namespace tavik::cli
