// The boards of a program that polls both, watch and the bridge: each
// board's connection once its port opened, or why it did not, and its link
// figures. A board whose port does not open is left out, unless neither
// opens; its reading then says so.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "board_readings.h"
#include "link_figures.h"

namespace tavik::cli {

struct PolledBoard {
  explicit PolledBoard(Board b) : board(b) {}
  Board board;
  std::atomic<BoardConnection*> connection{nullptr};
  std::optional<CommandError> left_out;  // why its port did not open
  LinkFigures figures;
};

// Opens the board's port; true when it is open, else left_out says why.
bool open_board(Session& session, PolledBoard& board);

// Throws the power & sensor board's failure when neither port opened.
void need_one_open(const PolledBoard& psb, const PolledBoard& drvb);

// One reading of an open board (read_psb or read_drvb; before_each as
// read_drvb takes it), made t seconds after the start: its steps, also
// left in steps, added to the board's figures and its failures marked.
Json poll_board(PolledBoard& board, double t, std::vector<Step>& steps,
                const std::function<void()>& before_each = {});

// The replies the board's connection discarded as late, 0 when it is not open.
unsigned late_replies(const PolledBoard& board);

}  // namespace tavik::cli
