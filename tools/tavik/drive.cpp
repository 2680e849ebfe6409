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
#include "drvb/drvb_commands.h"
#include "number_check.h"
#include "process.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kLongestDriveS = 10.0;
constexpr int kStopAttempts = 3;
// Failed exchanges in a row that end a drive.
constexpr int kFailuresThatEnd = 2;
// After the device was lost: how long the stop is tried, and how often. The
// connection reopens the port at most every 500 ms, so this covers three tries.
constexpr auto kStopWindowAfterLoss = std::chrono::milliseconds(1500);
constexpr auto kStopRetryAfterLoss = std::chrono::milliseconds(100);
constexpr int kMaxVelocityId = 0;

struct DriveArgs {
  int left = 0;
  int right = 0;
  double seconds = 0;
};

struct Blocked {
  const char* reason = nullptr;  // null: nothing stands in the way
  std::string text;
};

// What the bumpers and the emergency stop say against driving.
Blocked blocked_by(int left, int right, int emergency) {
  if (emergency != 0) return {reason::kEmergencyStop, "emergency stop closed"};
  if (left != 0 && right != 0) return {reason::kBumperClosed, "both bumpers closed"};
  if (left != 0) return {reason::kBumperClosed, "left bumper closed"};
  if (right != 0) return {reason::kBumperClosed, "right bumper closed"};
  return {};
}

// "wheel error left 0x01, right 0x00" when a wheel drive reports an error, else "".
std::string wheel_error(char left, char right) {
  if (left == 0 && right == 0) return "";
  char text[64];
  std::snprintf(text, sizeof text, "wheel error left 0x%02x, right 0x%02x", static_cast<unsigned char>(left),
                static_cast<unsigned char>(right));
  return text;
}

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

}  // namespace

Result send_stop(BoardConnection& connection) {
  const auto deadline = Clock::now() + kStopWindowAfterLoss;
  Result stop = drvb::set_velocity(connection, 0, 0);
  for (int attempt = 1; !stop.is_ok(); ++attempt) {
    if (is_port_loss(stop.failure)) {
      if (Clock::now() + kStopRetryAfterLoss > deadline) break;
      std::this_thread::sleep_for(kStopRetryAfterLoss);
    } else if (attempt >= kStopAttempts) {
      break;
    }
    stop = drvb::set_velocity(connection, 0, 0);
  }
  return stop;
}

DriveRun drive_for(BoardConnection& connection, int left_velocity, int right_velocity, double seconds) {
  DriveRun run;
  const auto start = Clock::now();
  const auto end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  int left = 0, right = 0, emergency = 0;
  char error_left = 0, error_right = 0;
  // A stop asked for while the port was being opened: no velocity goes out.
  const int early = wait_for_stop(start);
  run.stop_request = early;
  if (early != 0) run.ended = stop_signal_name(early);
  // An exchange's answer: taken, ridden through (the cycle's other exchanges
  // wait for the next velocity), or the end of the drive, kept as its failure.
  enum class Outcome { kTaken, kRidden, kEnd };
  int failed_in_row = 0;
  const auto outcome = [&](const Result& result, const char* step) {
    if (result.is_ok()) {
      failed_in_row = 0;
      return Outcome::kTaken;
    }
    if (result.failure == Failure::kRefused || is_port_loss(result.failure) ||
        ++failed_in_row >= kFailuresThatEnd) {
      run.failure = result;
      run.failed_step = step;
      return Outcome::kEnd;
    }
    ++run.failed_replies;
    return Outcome::kRidden;
  };
  for (auto next = start; early == 0 && next < end;) {
    Outcome step = outcome(drvb::set_velocity(connection, left_velocity, right_velocity), "send velocity");
    if (step == Outcome::kTaken) {
      ++run.sent;
      step = outcome(drvb::read_bumper_emg(connection, &left, &right, &emergency), "read bumpers");
    }
    if (step == Outcome::kTaken) {
      if (const Blocked blocked = blocked_by(left, right, emergency); blocked.reason != nullptr) {
        run.ended = blocked.text;
        run.stop_reason = blocked.reason;
        break;
      }
      step = outcome(drvb::read_drive_err(connection, &error_left, &error_right), "read wheel errors");
    }
    if (step == Outcome::kTaken) {
      if (const std::string error = wheel_error(error_left, error_right); !error.empty()) {
        run.ended = error;
        run.stop_reason = reason::kWheelError;
        break;
      }
    }
    if (step == Outcome::kEnd) break;
    // On schedule, or at once when a failed exchange made it late.
    next = std::max(next + kVelocityPeriod, Clock::now());
    if (const int sig = wait_for_stop(std::min(next, end)); sig != 0) {
      run.ended = stop_signal_name(sig);
      run.stop_request = sig;
      break;
    }
  }
  run.stop = send_stop(connection);
  run.driven = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  // An error the board set during the drive, or as it took the stop.
  if (run.failure.is_ok() && run.stop.is_ok() && run.stop_reason == nullptr) {
    failed_in_row = 0;  // the stop was answered
    Result read = drvb::read_drive_err(connection, &error_left, &error_right);
    if (outcome(read, "read wheel errors after the stop") == Outcome::kRidden)
      read = drvb::read_drive_err(connection, &error_left, &error_right);
    if (!read.is_ok()) {
      run.failure = read;
      run.failed_step = "read wheel errors after the stop";
    } else if (const std::string error = wheel_error(error_left, error_right); !error.empty()) {
      run.ended = error + " after the stop";
      run.stop_reason = reason::kWheelError;
    }
  }
  if (run.lost())
    run.ended = std::string(failure_name(run.failure.failure)) + " during drive";
  else if (!run.failure.is_ok())
    run.ended = run.failed_step + ": " + describe(run.failure);
  return run;
}

namespace {

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
