#include "retried_board.h"

namespace tavik::cli {

bool try_open(Session& session, RetriedBoard& board, ProgramLog& log) {
  const std::optional<CommandError> before = board.left_out;
  if (!open_board(session, board)) {
    board.next_open = std::chrono::steady_clock::now() + kOpenRetry;
    const CommandError& why = *board.left_out;
    if (why.result.failure == Failure::kBadArgument)
      throw CommandError::usage(std::string(board.board == Board::kPsb ? "--psb" : "--drvb") + " '" +
                                why.port + "' cannot be a port: " + why.detail);
    if (!before || before->detail != why.detail)
      log.line(std::string(board_name(board.board)) + " at " + why.port + " not open: " + why.detail +
               "; trying again every 2 s");
    return false;
  }
  if (before) log.line(std::string(board_name(board.board)) + " at " + session.port(board.board) + " open");
  return true;
}

}  // namespace tavik::cli
