#include "drive_checks.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "drive_safety.h"
#include "drvb/drvb_commands.h"
#include "facts/drvb_facts.h"
#include "process.h"

namespace tavik::cli {
namespace {

// The least travel a wheel is asked for that must show on its encoder: 20 mm.
constexpr double kLeastCountsJudged = 20 * drvb::kEncoderCountsPerMm;

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
  session.check(read_before_drive(
                    [&] { return drvb::read_parameter(connection, drvb::kMaxVelocityId, &max_velocity); }),
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

// The wheels asked to turn that did not: "left", "right", "left and right", or "".
std::string still_wheels(const DriveEnd& end) {
  if (!end.moved || end.run.sent == 0) return "";
  const double seconds = static_cast<double>(end.run.driven.count()) / 1000;
  const auto still = [&](int velocity, int moved) {
    return std::abs(velocity) * seconds * drvb::kEncoderCountsPerMm >= kLeastCountsJudged && moved == 0;
  };
  const bool left = still(end.args.left, end.moved->left);
  const bool right = still(end.args.right, end.moved->right);
  return left && right ? "left and right" : left ? "left" : right ? "right" : "";
}

}  // namespace

void check_start(Session& session, BoardConnection& connection, const DriveArgs& args) {
  check_max_velocity(session, connection, args);
  drvb::BumpersAndErrors status;
  session.check(read_before_drive([&] { return drvb::read_bumpers_and_errors(connection, &status); }),
                "read bumpers and wheel errors", Board::kDrvb);
  const auto refuse = [&](const char* code, const std::string& text) {
    throw CommandError(kExitCommandFailed, code, "start driving", Board::kDrvb, session.port(Board::kDrvb),
                       "refused: " + text);
  };
  if (const Blocked blocked = blocked_by(status.bumper_left, status.bumper_right, status.emergency);
      blocked.reason != nullptr)
    refuse(blocked.reason, blocked.text);
  if (const std::string error = wheel_error(status.error_left, status.error_right); !error.empty())
    refuse(reason::kWheelError, error + " (drvb reset-errors clears it)");
}

std::optional<WheelCounts> read_counts(BoardConnection& connection) {
  WheelCounts counts;
  if (!read_before_drive([&] { return drvb::read_encoder(connection, &counts.left, &counts.right); }).is_ok())
    return std::nullopt;
  return counts;
}

DriveEnd drive_end(const DriveArgs& args, DriveRun run, const std::optional<WheelCounts>& before,
                   const std::optional<WheelCounts>& after) {
  DriveEnd end{args, std::move(run), std::nullopt};
  if (before && after)
    end.moved = WheelCounts{drvb::count_delta(before->left, after->left),
                            drvb::count_delta(before->right, after->right)};
  return end;
}

Json drive_record(const DriveEnd& end) {
  const DriveRun& run = end.run;
  return Json{{"left", end.args.left},
              {"right", end.args.right},
              {"seconds", static_cast<double>(run.driven.count()) / 1000},
              {"velocity_requests", run.sent},
              {"failed_replies", run.failed_replies},
              {"ended", run.ended},
              {"stop_sent", run.stop.is_ok()},
              {"counts", end.moved ? Json{{"left", end.moved->left}, {"right", end.moved->right}} : Json()}};
}

int drive_exit(const Session& session, const DriveEnd& end) {
  const DriveRun& run = end.run;
  const Result& stop = run.stop;
  const Result& failure = run.failure;
  const std::string& port = session.port(Board::kDrvb);
  if (run.lost()) {
    throw CommandError(kExitCommandFailed, failure_row(failure.failure).reason, run.failed_step, Board::kDrvb,
                       port,
                       std::string(failure_name(failure.failure)) + " during drive; " +
                           std::string(stop.is_ok() ? "the stop (0,0) went out when it came back"
                                                    : "it did not come back, no stop went out"),
                       failure);
  }
  if (!stop.is_ok()) session.check(stop, "send the stop (0,0)", Board::kDrvb);
  if (!failure.is_ok()) session.check(failure, run.failed_step, Board::kDrvb);
  if (run.stop_reason != nullptr)
    throw CommandError(kExitCommandFailed, run.stop_reason, "drive", Board::kDrvb, port,
                       "stopped: " + run.ended);
  // Ctrl-C ends it as it ends any program, so that `drive ... && next` goes no further.
  if (run.stop_request != 0) return stop_exit_code(run.stop_request);
  if (const std::string still = still_wheels(end); !still.empty()) {
    char figures[96];
    std::snprintf(figures, sizeof figures, "%d and %d mm/s for %.1f s", end.args.left, end.args.right,
                  static_cast<double>(run.driven.count()) / 1000);
    throw CommandError(
        kExitCommandFailed, reason::kNotMoving, "drive", Board::kDrvb, port,
        "the " + still + (still == "left and right" ? " wheels" : " wheel") +
            " did not move (the encoders counted nothing at " + figures + "): is the servo on? " +
            (session.options().simulate ? "(--simulate starts new boards for each command, their servo off: "
                                          "tavik-sim keeps them between commands)"
                                        : "(tavik drvb servo on)"));
  }
  return kExitOk;
}

}  // namespace tavik::cli
