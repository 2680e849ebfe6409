// The drive itself, shared by drvb drive and check --drive, on the drive
// keeper (drive/keeper.h), whose rules it follows: the wheel
// velocities every 100 ms for a time, then always the stop (0,0), also on a
// stop request, a bumper, the emergency stop, a wheel error, two failed
// exchanges in a row, a refusal or the device lost. One failed exchange
// alone is ridden through: the next velocity goes out when it is due (at
// once when the failure made it late). The caller has checked that the
// drive may start.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>

#include "serial/exchange/board_connection.h"

namespace tavik::cli {

struct DriveRun {
  std::string ended = "time";  // what ended it: "time", "SIGINT", "left bumper closed", kCalledOff, ...
  const char* stop_reason = nullptr;  // a reason code when a safety stop ended it
  Result failure;                     // the failed exchange that ended the drive, or ok
  std::string failed_step;
  Result stop;  // the stop's own result
  int sent = 0;
  int failed_replies = 0;  // failed exchanges the drive went on after
  std::chrono::milliseconds driven{0};
  int stop_request = 0;  // the stop request that ended it, or 0

  bool lost() const { return is_port_loss(failure.failure); }
};

// The longest drive, in seconds.
inline constexpr double kLongestDriveS = 10.0;

// What ends a drive besides its time, for the commands' help.
inline constexpr const char* kDriveEnds =
    "one failed reply is ridden through; two in a row, a refused request or the device lost end the drive, "
    "always with the stop";

// What ended a drive whose caller asked it to end (`cancel`).
inline constexpr const char* kCalledOff = "called off";

// Drives at left,right for seconds (at most kLongestDriveS), then stops; reads the wheel
// errors once more after the stop. A drive run on a thread of its own ends,
// with the stop, within a velocity period of a request on `cancel`.
DriveRun drive_for(BoardConnection& connection, int left, int right, double seconds,
                   std::stop_token cancel = {});

// Sends 0,0: a few times after a plain failure, for a short while after the
// device was lost (the connection reopens the port when it is back).
Result send_stop(BoardConnection& connection);

}  // namespace tavik::cli
