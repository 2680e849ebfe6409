// tavik drvb drive LEFT RIGHT --for SECONDS
//
// Reads the board's maximum velocity and refuses a faster drive; refuses to
// start while a bumper, the emergency stop or a wheel error is set. Then
// sends the wheel velocities every 100 ms, then always 0,0: at the end of the
// time, on a stop request (Ctrl-C, SIGTERM, SIGHUP: exit 128 + the signal;
// standard output going away), when a bumper, the emergency stop or a wheel
// error is set, and when the board stops answering (two failed exchanges in
// a row), refuses a request or is lost; one failed exchange alone is ridden
// through. Once the device is lost no velocity but 0,0 goes out again: the
// stop is tried for a short while in case it returns. Wheels whose encoders
// counted nothing (the servo off) fail the drive (drive_checks.h).
// Nothing is printed until the wheels were told to stop, so output that
// cannot be written never delays the stop.
#include <memory>

#include "board_readings.h"
#include "commands.h"
#include "drive_checks.h"
#include "number_check.h"

namespace tavik::cli {
namespace {

int drive(Session& session, Output& out, const DriveArgs& args) {
  BoardConnection& connection = session.open(Board::kDrvb);
  check_start(session, connection, args);
  const std::optional<WheelCounts> before = read_counts(connection);
  DriveRun run = drive_for(connection, args.left, args.right, args.seconds);
  const std::optional<WheelCounts> after =
      before && run.stop.is_ok() ? read_counts(connection) : std::nullopt;
  const DriveEnd end = drive_end(args, std::move(run), before, after);
  Json record = board_header(session, Board::kDrvb);
  record.update(drive_record(end));
  out.record(record);
  return drive_exit(session, end);
}

}  // namespace

void add_drive_command(CLI::App& drvb, Runner& run) {
  auto args = std::make_shared<DriveArgs>();
  CLI::App* command = drvb.add_subcommand(
      "drive",
      std::string("Drive at LEFT,RIGHT mm/s for at most 10 s, then stop (also on Ctrl-C and when a bumper "
                  "closes); ") +
          kDriveEnds);
  add_number(*command, "LEFT", args->left, "left wheel velocity, mm/s")->required();
  add_number(*command, "RIGHT", args->right, "right wheel velocity, mm/s")->required();
  add_number(*command, "--for", args->seconds, "seconds to drive, above 0 and up to 10",
             {.least = 0.0, .most = kLongestDriveS, .unit = "seconds", .least_excluded = true})
      ->required();
  command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return drive(session, out, *args); }; });
}

}  // namespace tavik::cli
