// What the tool's drives share (drvb drive, watch --drive) around the drive
// loop: the checks before the first velocity, the encoder counts before and
// after, and what the drive's end tells: its record, and the failure or the
// exit status it ends the command with. A drive whose velocities the board
// took but whose wheels did not turn (the servo off) is a failure too.
#pragma once

#include <optional>

#include "drive_loop.h"
#include "output.h"
#include "session.h"

namespace tavik::cli {

struct DriveArgs {
  int left = 0;
  int right = 0;
  double seconds = 0;
};

// Refuses a drive (CommandError) faster than the board's Max Velocity (exit
// 2) or while a bumper, the emergency stop or a wheel error is set (exit 1).
void check_start(Session& session, BoardConnection& connection, const DriveArgs& args);

struct WheelCounts {
  int left = 0;
  int right = 0;
};

// The encoder counts, or none when they cannot be read: a drive goes on
// without them, and is then not judged by them.
std::optional<WheelCounts> read_counts(BoardConnection& connection);

// The drive's outcome: the run, and the counts each wheel advanced when
// they were read before and after.
struct DriveEnd {
  DriveArgs args;
  DriveRun run;
  std::optional<WheelCounts> moved;
};

DriveEnd drive_end(const DriveArgs& args, DriveRun run, const std::optional<WheelCounts>& before,
                   const std::optional<WheelCounts>& after);

// The drive's figures: velocities, time, requests, what ended it, the stop, the counts.
Json drive_record(const DriveEnd& end);

// Throws the failure that ended the drive, naming the board's port; else
// the exit status (128 + a stop request's number, or 0).
int drive_exit(const Session& session, const DriveEnd& end);

}  // namespace tavik::cli
