#include "drive_loop.h"

#include <thread>

#include "drive_safety.h"
#include "drvb/drvb_commands.h"
#include "facts/defaults.h"
#include "process.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStopAttempts = 3;
// Failed exchanges in a row that end a drive.
constexpr int kFailuresThatEnd = 2;
// After the device was lost: how often the stop is tried.
constexpr auto kStopRetryAfterLoss = std::chrono::milliseconds(100);

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

DriveRun drive_for(BoardConnection& connection, int left_velocity, int right_velocity, double seconds,
                   std::stop_token cancel) {
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
    if (cancel.stop_requested()) {
      run.ended = kCalledOff;
      break;
    }
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

}  // namespace tavik::cli
