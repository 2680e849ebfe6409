#include "drive_loop.h"

#include <optional>
#include <thread>

#include "command_error.h"
#include "drive/drive_safety.h"
#include "drive/drvb_board.h"
#include "drive/keeper.h"
#include "drive/keeper_runner.h"
#include "drvb/drvb_commands.h"
#include "process.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Failed exchanges in a row that end a drive.
constexpr int kFailuresThatEnd = 2;

// Makes an exchange the keeper handed out; a stop's result goes to *stop.
void make_exchange(drive::Keeper& keeper, drive::DriveBoard& board, const drive::Exchange& exchange,
                   Result* stop) {
  const drive::Answer answer = board.exchange(exchange);
  keeper.answered(exchange, answer, Clock::now());
  if (exchange.is_stop() && !exchange.drive) *stop = answer.result;
}

// Serves the stop the keeper owes until it is answered, its tries in a row
// are spent, or, the device lost, kStopWindowAfterLoss has passed (the stop
// is tried every period meanwhile). The last stop's result.
Result serve_stop(drive::Keeper& keeper, drive::DriveBoard& board, Result stop = {}) {
  const auto deadline = Clock::now() + drive::kStopWindowAfterLoss;
  while (keeper.stop_owed()) {
    if (const std::optional<drive::Exchange> exchange = keeper.next(Clock::now())) {
      make_exchange(keeper, board, *exchange, &stop);
      continue;
    }
    if (!is_port_loss(stop.failure) || keeper.wake() > deadline) break;
    std::this_thread::sleep_until(keeper.wake());
  }
  return stop;
}

}  // namespace

Result send_stop(BoardConnection& connection) {
  drive::DrvbBoard board(connection);
  drive::Keeper keeper;
  keeper.stop();
  return serve_stop(keeper, board);
}

DriveRun drive_for(BoardConnection& connection, int left_velocity, int right_velocity, double seconds,
                   std::stop_token cancel) {
  DriveRun run;
  drive::DrvbBoard board(connection);
  // The caller has read Max Velocity and the bumpers before the drive.
  drive::Keeper keeper({.ridden_failures = kFailuresThatEnd - 1,
                        .watch = true,
                        .check_max_velocity = false,
                        .hold_still = true});
  const auto start = Clock::now();
  const auto end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  // A stop asked for while the port was being opened: no velocity goes out.
  const int early = wait_for_stop(start);
  run.stop_request = early;
  if (early != 0) run.ended = stop_signal_name(early);
  if (early == 0) keeper.drive(left_velocity, right_velocity, end);
  Result stop;  // the last stop the keeper sent
  while (early == 0) {
    if (cancel.stop_requested()) {
      run.ended = kCalledOff;
      break;
    }
    while (const std::optional<drive::Exchange> exchange = keeper.next(Clock::now()))
      make_exchange(keeper, board, *exchange, &stop);
    for (const drive::Outcome& outcome : keeper.take_outcomes()) {
      if (outcome.code != nullptr) {
        run.ended = outcome.block.text;
        run.stop_reason = outcome.code;
      } else if (!outcome.answer.result.is_ok()) {
        run.failure = outcome.answer.result;
        run.failed_step = outcome.step;
      }
    }
    if (!keeper.driving()) break;
    // On schedule, or at once when a failed exchange made it late.
    if (const int sig = wait_for_stop(std::min(keeper.wake(), end)); sig != 0) {
      run.ended = stop_signal_name(sig);
      run.stop_request = sig;
      break;
    }
  }
  // The stop the drive's end owes, once (an end the keeper saw owes it already).
  if (early != 0 || keeper.driving()) keeper.stop();
  run.stop = serve_stop(keeper, board, stop);
  run.sent = keeper.taken();
  run.failed_replies = keeper.ridden();
  run.driven = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  // An error the board set during the drive, or as it took the stop: read
  // once more after one failed read, as the drive rides through one.
  if (run.failure.is_ok() && run.stop.is_ok() && run.stop_reason == nullptr) {
    char error_left = 0, error_right = 0;
    Result read = drvb::read_drive_err(connection, &error_left, &error_right);
    if (!read.is_ok() && read.failure != Failure::kRefused && !is_port_loss(read.failure)) {
      ++run.failed_replies;
      read = drvb::read_drive_err(connection, &error_left, &error_right);
    }
    if (!read.is_ok()) {
      run.failure = read;
      run.failed_step = "read wheel errors after the stop";
    } else if (const std::string error = drive::wheel_error(error_left, error_right); !error.empty()) {
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
