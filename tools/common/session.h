// The boards of one run of the tool: their ports (on the in-process
// simulator with --simulate) and the connections to them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "command_error.h"
#include "global_options.h"
#include "serial/exchange/board_connection.h"

namespace tavik::sim {
class SimulatedBoards;
}

namespace tavik::cli {

// Why port_name could not be opened, for a person: the failure's text, the
// device the name led to, who holds it or the group to join, and where a
// COM name is looked for ("missing (/dev/ttyUSB3)", "busy: held by process
// 812 (tavik)", ...).
std::string open_failure_text(const std::string& port_name, const Result& why);

class Session {
 public:
  // With --simulate, starts both simulated boards behind COM links in a
  // private directory and points TAVIK_COM_DIR at it.
  explicit Session(const GlobalOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const GlobalOptions& options() const { return options_; }
  const std::string& port(Board board) const { return board == Board::kPsb ? options_.psb : options_.drvb; }

  // Opens the board's port; throws CommandError (exit 3) saying why not.
  BoardConnection& open(Board board);

  // Throws CommandError (exit 1) naming step, board and port when result failed.
  void check(Result result, const std::string& step, Board board) const;

  // The distance between the wheels: the one given, else the simulated
  // robot's with --simulate, else not known.
  std::optional<double> wheel_separation_mm(std::optional<double> given) const;

 private:
  GlobalOptions options_;
  std::unique_ptr<sim::SimulatedBoards> boards_;  // with --simulate
  BoardConnection psb_{"psb"};
  BoardConnection drvb_{"drvb"};
};

}  // namespace tavik::cli
