// tavik drvb drive LEFT RIGHT --for SECONDS
//
// Sends the wheel velocities every 100 ms, then always 0,0: at the end of
// the time, on a stop request (Ctrl-C, SIGTERM, SIGHUP), when a bumper or
// the emergency stop closes, and when the board stops answering. Nothing is
// printed until the wheels were told to stop, so output that cannot be
// written never delays the stop.
#include <memory>

#include "board_readings.h"
#include "commands.h"
#include "drvb/drvb_commands.h"
#include "stop_signals.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kSendPeriod = std::chrono::milliseconds(100);
constexpr double kLongestDriveS = 10.0;
constexpr int kStopAttempts = 3;

struct DriveArgs {
  int left = 0;
  int right = 0;
  double seconds = 0;
};

// The reason the bumpers and the emergency stop give not to drive, or "".
std::string blocked_by(int left, int right, int emergency) {
  if (emergency != 0) return "emergency stop closed";
  if (left != 0 && right != 0) return "both bumpers closed";
  if (left != 0) return "left bumper closed";
  if (right != 0) return "right bumper closed";
  return "";
}

int drive(Session& session, Output& out, const DriveArgs& args) {
  BoardConnection& connection = session.open(Board::kDrvb);
  int left = 0, right = 0, emergency = 0;
  session.check(drvb::read_bumper_emg(connection, &left, &right, &emergency), "read bumpers", Board::kDrvb);
  if (const std::string blocked = blocked_by(left, right, emergency); !blocked.empty()) {
    throw CommandError(kExitCommandFailed, "start driving", Board::kDrvb, session.port(Board::kDrvb),
                       "refused: " + blocked);
  }

  const auto start = Clock::now();
  const auto end =
      start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(args.seconds));
  std::string ended = "time";
  Result failure;
  std::string failed_step;
  int sent = 0;
  // A stop asked for while the port was being opened: no velocity goes out.
  const int early = wait_for_stop(start);
  if (early != 0) ended = stop_signal_name(early);
  for (auto next = start; early == 0 && next < end;) {
    failure = drvb::set_velocity(connection, args.left, args.right);
    if (!failure.is_ok()) {
      failed_step = "send velocity";
      break;
    }
    ++sent;
    failure = drvb::read_bumper_emg(connection, &left, &right, &emergency);
    if (!failure.is_ok()) {
      failed_step = "read bumpers";
      break;
    }
    if (ended = blocked_by(left, right, emergency); !ended.empty()) break;
    ended = "time";
    next += kSendPeriod;
    if (const int sig = wait_for_stop(std::min(next, end)); sig != 0) {
      ended = stop_signal_name(sig);
      break;
    }
  }
  Result stop;
  for (int attempt = 0; attempt < kStopAttempts; ++attempt) {
    if ((stop = drvb::set_velocity(connection, 0, 0)).is_ok()) break;
  }
  const auto driven_ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);

  if (!failure.is_ok()) ended = failed_step + ": " + describe(failure);
  Json record = board_header(session, Board::kDrvb);
  record.update(Json{{"left", args.left},
                     {"right", args.right},
                     {"seconds", static_cast<double>(driven_ms.count()) / 1000},
                     {"velocity_requests", sent},
                     {"ended", ended},
                     {"stop_sent", stop.is_ok()}});
  out.record(record);
  if (!stop.is_ok()) session.check(stop, "send the stop (0,0)", Board::kDrvb);
  if (!failure.is_ok()) session.check(failure, failed_step, Board::kDrvb);
  const bool safety_stop = ended.find("closed") != std::string::npos;
  if (safety_stop) {
    throw CommandError(kExitCommandFailed, "drive", Board::kDrvb, session.port(Board::kDrvb),
                       "stopped: " + ended);
  }
  return kExitOk;
}

}  // namespace

void add_drive_command(CLI::App& drvb, Runner& run) {
  auto args = std::make_shared<DriveArgs>();
  CLI::App* command = drvb.add_subcommand(
      "drive",
      "Drive at LEFT,RIGHT mm/s for at most 10 s, then stop (also on Ctrl-C and when a bumper closes)");
  command->add_option("LEFT", args->left, "left wheel velocity, mm/s")->required();
  command->add_option("RIGHT", args->right, "right wheel velocity, mm/s")->required();
  command->add_option("--for", args->seconds, "seconds to drive, up to 10")
      ->required()
      ->check(CLI::Range(0.0, kLongestDriveS));
  command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return drive(session, out, *args); }; });
}

}  // namespace tavik::cli
