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
// stop is tried for a short while in case it returns.
// Nothing is printed until the wheels were told to stop, so output that
// cannot be written never delays the stop.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "board_readings.h"
#include "commands.h"
#include "drive_loop.h"
#include "drive_safety.h"
#include "drvb/drvb_commands.h"
#include "number_check.h"
#include "process.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxVelocityId = 0;

struct DriveArgs {
  int left = 0;
  int right = 0;
  double seconds = 0;
};

// A read before the drive, tried once more after a lost or spoiled reply as
// the drive itself rides through one: nothing moves before all are read.
template <class Read>
Result read_before_drive(Read read) {
  const Result first = read();
  const bool again = first.failure == Failure::kNoReply || first.failure == Failure::kBadCheck ||
                     first.failure == Failure::kMalformed || first.failure == Failure::kUnexpected;
  return again ? read() : first;
}

// Refuses a velocity above the board's Max Velocity, which would set a wheel
// error on the board instead of moving it.
void check_max_velocity(Session& session, BoardConnection& connection, const DriveArgs& args) {
  int max_velocity = 0;
  session.check(
      read_before_drive([&] { return drvb::read_parameter(connection, kMaxVelocityId, &max_velocity); }),
      "read max-velocity", Board::kDrvb);
  for (const auto& [wheel, velocity] : {std::pair{"left", args.left}, std::pair{"right", args.right}}) {
    if (std::llabs(velocity) <= max_velocity) continue;
    throw CommandError(kExitUsage, reason::kAboveMaxVelocity, "start driving", Board::kDrvb,
                       session.port(Board::kDrvb),
                       std::string("the ") + wheel + " velocity " + std::to_string(velocity) +
                           " mm/s is above the board's maximum velocity of " + std::to_string(max_velocity) +
                           " mm/s (drvb param get max-velocity)");
  }
}

// The checks before the first velocity: a reason not to start, or nothing.
void check_start(Session& session, BoardConnection& connection, const DriveArgs& args) {
  check_max_velocity(session, connection, args);
  int left = 0, right = 0, emergency = 0;
  session.check(
      read_before_drive([&] { return drvb::read_bumper_emg(connection, &left, &right, &emergency); }),
      "read bumpers", Board::kDrvb);
  const auto refuse = [&](const char* code, const std::string& text) {
    throw CommandError(kExitCommandFailed, code, "start driving", Board::kDrvb, session.port(Board::kDrvb),
                       "refused: " + text);
  };
  if (const Blocked blocked = blocked_by(left, right, emergency); blocked.reason != nullptr)
    refuse(blocked.reason, blocked.text);
  char error_left = 0, error_right = 0;
  session.check(
      read_before_drive([&] { return drvb::read_drive_err(connection, &error_left, &error_right); }),
      "read wheel errors", Board::kDrvb);
  if (const std::string error = wheel_error(error_left, error_right); !error.empty())
    refuse(reason::kWheelError, error + " (drvb reset-errors clears it)");
}

int drive(Session& session, Output& out, const DriveArgs& args) {
  BoardConnection& connection = session.open(Board::kDrvb);
  check_start(session, connection, args);
  const DriveRun run = drive_for(connection, args.left, args.right, args.seconds);
  const Result& stop = run.stop;
  const Result& failure = run.failure;
  const std::string& failed_step = run.failed_step;
  const bool lost = run.lost();
  Json record = board_header(session, Board::kDrvb);
  record.update(Json{{"left", args.left},
                     {"right", args.right},
                     {"seconds", static_cast<double>(run.driven.count()) / 1000},
                     {"velocity_requests", run.sent},
                     {"failed_replies", run.failed_replies},
                     {"ended", run.ended},
                     {"stop_sent", stop.is_ok()}});
  out.record(record);
  const std::string& port = session.port(Board::kDrvb);
  if (lost) {
    throw CommandError(kExitCommandFailed, failure_row(failure.failure).reason, failed_step, Board::kDrvb,
                       port,
                       std::string(failure_name(failure.failure)) + " during drive; " +
                           std::string(stop.is_ok() ? "the stop (0,0) went out when it came back"
                                                    : "it did not come back, no stop went out"),
                       failure);
  }
  if (!stop.is_ok()) session.check(stop, "send the stop (0,0)", Board::kDrvb);
  if (!failure.is_ok()) session.check(failure, failed_step, Board::kDrvb);
  if (run.stop_reason != nullptr)
    throw CommandError(kExitCommandFailed, run.stop_reason, "drive", Board::kDrvb, port,
                       "stopped: " + run.ended);
  // Ctrl-C ends it as it ends any program, so that `drive ... && next` goes no further.
  return stop_exit_code(run.stop_request);
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
