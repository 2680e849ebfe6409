#include "board_command.h"

#include "drvb/drvb_commands.h"
#include "psb/psb_commands.h"

namespace tavik::cli {
namespace {

// How long a servo-off or drive power-off waits for the stop to be answered first.
constexpr auto kStopFirstBound = std::chrono::milliseconds(300);

}  // namespace

Board board_of(const BridgeCommand& command) {
  return command.kind == BridgeCommand::Kind::kPower || command.kind == BridgeCommand::Kind::kMaxDistance
             ? Board::kPsb
             : Board::kDrvb;
}

CommandOutcome carry_out(const BridgeCommand& command, BoardConnection* connection, const std::string& port,
                         DriveControl& drive) {
  const char* name = kCommandNames[static_cast<int>(command.kind)];
  const Board board = board_of(command);
  if (connection == nullptr)
    return {name, failure_row(Failure::kNotOpen).reason,
            std::string("the ") + board_label(board) + "'s port is not open"};
  const bool stop_first =
      !command.on && (command.kind == BridgeCommand::Kind::kServo ||
                      (command.kind == BridgeCommand::Kind::kPower && command.device == 0));
  if (stop_first) {
    drive.stop();
    drive.wait_stopped(kStopFirstBound);
  }
  Result done;
  std::string step;
  switch (command.kind) {
    case BridgeCommand::Kind::kPower:
      step = std::string("switch ") + kPsbDevices[command.device] + (command.on ? " on" : " off");
      done = psb::set_power_control(*connection, command.device, command.on ? 1 : 0);
      break;
    case BridgeCommand::Kind::kServo:
      step = command.on ? "switch the servo on" : "switch the servo off";
      done = drvb::set_servo(*connection, command.on ? 1 : 0);
      break;
    case BridgeCommand::Kind::kMaxDistance:
      step = "set maximum distance";
      done = psb::set_usonic_max_dist(*connection, command.code);
      break;
    case BridgeCommand::Kind::kResetErrors:
      step = "reset wheel errors";
      done = drvb::set_drive_err_reset(*connection);
      break;
    case BridgeCommand::Kind::kStop:
      step = "send the stop (0,0)";
      done = drvb::set_velocity(*connection, 0, 0);
      break;
    case BridgeCommand::Kind::kDrive:
      return {name, "ok", ""};  // the drive's own thread carries it out
  }
  if (done.is_ok()) return {name, "ok", ""};
  const CommandError e(kExitCommandFailed, failure_row(done.failure).reason, step, board, port,
                       describe(done));
  return {name, e.reason, e.message()};
}

}  // namespace tavik::cli
