#include "board_poller.h"

namespace tavik::cli {

bool open_board(Session& session, PolledBoard& board) {
  try {
    board.connection = &session.open(board.board);
    board.left_out.reset();
    return true;
  } catch (const CommandError& e) {
    board.left_out = e;
    return false;
  }
}

void need_one_open(const PolledBoard& psb, const PolledBoard& drvb) {
  if (psb.left_out && drvb.left_out) throw *psb.left_out;
}

Json poll_board(PolledBoard& board, double t, std::vector<Step>& steps,
                const std::function<void()>& before_each) {
  BoardConnection& connection = *board.connection.load();
  Json reading =
      board.board == Board::kPsb ? read_psb(connection, steps) : read_drvb(connection, steps, before_each);
  board.figures.add(steps, t);
  mark_failures(reading, steps);
  return reading;
}

unsigned late_replies(const PolledBoard& board) {
  const BoardConnection* connection = board.connection.load();
  return connection != nullptr ? connection->late.seen.load() : 0;
}

}  // namespace tavik::cli
