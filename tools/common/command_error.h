// How a command of the tools ends: the exit codes, the boards' names, the
// reasons an error gives, and the failure that ends a command.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "drive/drive_safety.h"
#include "serial/failures/command_result.h"

namespace tavik::cli {

enum ExitCode : int {
  kExitOk = 0,
  kExitCommandFailed = 1,
  kExitUsage = 2,
  kExitOpenFailed = 3,
  kExitNameTaken = 4,  // tavik bridge: another bridge runs under the name
};

// A failure of the table has its exit status there.
static_assert(failure_row(Failure::kNoReply).exit_status == kExitCommandFailed);
static_assert(failure_row(Failure::kMissing).exit_status == kExitOpenFailed);

enum class Board { kPsb, kDrvb };

inline const char* board_name(Board board) { return board == Board::kPsb ? "psb" : "drvb"; }
inline const char* board_label(Board board) { return board == Board::kPsb ? "PSB" : "DRVB"; }

// The stable codes an error's "reason" takes besides those of the failure
// table (serial/failure_table.h); the manual page lists them all.
namespace reason {
inline constexpr const char* kUsage = "usage";
inline constexpr const char* kAboveMaxVelocity = "above-max-velocity";
inline constexpr const char* kFileNotWritable = "file-not-writable";
inline constexpr const char* kFileExists = "file-exists";
inline constexpr const char* kWriteFailed = "write-failed";
inline constexpr const char* kBumperClosed = drive::kBumperClosedReason;
inline constexpr const char* kEmergencyStop = drive::kEmergencyStopReason;
inline constexpr const char* kWheelError = drive::kWheelErrorReason;
inline constexpr const char* kSimulatorFailed = "simulator-failed";
inline constexpr const char* kDriveNotAllowed = "drive-not-allowed";  // bridge without --allow-drive
inline constexpr const char* kRetainedCommand = "retained-command";   // bridge: a command the broker kept
inline constexpr const char* kBrokerRefused = "broker-refused";
inline constexpr const char* kReadBackDiffers = "read-back-differs";
inline constexpr const char* kNotDriven = "not-driven";
inline constexpr const char* kStopped = "stopped";
inline constexpr const char* kNotMoving = "not-moving";            // a drive the board took, its wheels still
inline constexpr const char* kProgramMissing = "program-missing";  // tavik bridge without tavik-bridge
inline constexpr const char* kStaleCommand =
    "stale-command";  // bridge: stamped too long before (or after) it came
inline constexpr const char* kSuperseded = "superseded";  // bridge: a newer drive came before it was sent
inline constexpr const char* kNameTaken = "name-taken";   // bridge: another bridge runs under the name
inline constexpr const char* kDdsFailed = "dds-failed";   // tavik-ros2: DDS did not start
}  // namespace reason

// Ends a command: what was being done, on which board and port, why (a code
// for scripts) and the detail for a person. Usage errors know no board.
struct CommandError : std::runtime_error {
  CommandError(int exit_code_, std::string reason_, std::string step_, std::optional<Board> board_,
               std::string port_, std::string detail_, Result result_ = {})
      : std::runtime_error(detail_),
        exit_code(exit_code_),
        reason(std::move(reason_)),
        step(std::move(step_)),
        board(board_),
        port(std::move(port_)),
        detail(std::move(detail_)),
        result(result_) {}
  // A usage error: exit 2, reason "usage", the message alone.
  static CommandError usage(std::string message) {
    return CommandError(kExitUsage, reason::kUsage, "", std::nullopt, "", std::move(message));
  }
  // "read power data on the PSB at COM7 failed: no reply", or the detail alone.
  std::string message() const;

  int exit_code;
  std::string reason;
  std::string step;
  std::optional<Board> board;
  std::string port;
  std::string detail;
  Result result;
};

// "refused (status '1')" for a refusal, the failure's name otherwise.
std::string describe(Result result);

}  // namespace tavik::cli
