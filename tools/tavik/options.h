// What every command of the tool shares: the global options, the boards'
// names, the exit codes, and the failure that ends a command.
#pragma once

#include <stdexcept>
#include <string>

#include "serial/command_result.h"

namespace tavik::cli {

struct GlobalOptions {
  std::string psb = "COM7";
  std::string drvb = "COM8";
  int timeout_ms = 200;
  bool json = false;
  bool simulate = false;
};

enum ExitCode : int {
  kExitOk = 0,
  kExitCommandFailed = 1,
  kExitUsage = 2,
  kExitOpenFailed = 3,
};

enum class Board { kPsb, kDrvb };

inline const char* board_name(Board board) { return board == Board::kPsb ? "psb" : "drvb"; }
inline const char* board_label(Board board) { return board == Board::kPsb ? "PSB" : "DRVB"; }

// Ends a command: what was being done, on which board and port, and why.
struct CommandError : std::runtime_error {
  CommandError(int exit_code_, std::string step_, Board board_, std::string port_, std::string reason_,
               Result result_ = {})
      : std::runtime_error(reason_),
        exit_code(exit_code_),
        step(std::move(step_)),
        board(board_),
        port(std::move(port_)),
        reason(std::move(reason_)),
        result(result_) {}
  int exit_code;
  std::string step;
  Board board;
  std::string port;
  std::string reason;
  Result result;
};

// "refused (status '1')" for a refusal, the failure's name otherwise.
std::string describe(Result result);

}  // namespace tavik::cli
