// The node's drive from cmd_vel, on the drive keeper (drive/keeper.h) and
// its thread (drive/keeper_runner.h), which sends every velocity request to
// the drive board: each cmd_vel is a drive that holds for --cmd-vel-timeout
// after its arrival, sent again every kVelocityPeriod, then 0,0. A stop (the
// drive board lost, a bumper or the emergency stop, the node ending) drops
// it and sends 0,0 at once. What the keeper refuses or ends is logged, once
// until it changes.
#pragma once

#include <chrono>
#include <list>
#include <mutex>
#include <optional>
#include <string>

#include "drive/drvb_board.h"
#include "drive/keeper_runner.h"
#include "node_log.h"

namespace tavik::cli {

class CmdVelDrive {
 public:
  CmdVelDrive(std::chrono::milliseconds hold, NodeLog& log);
  CmdVelDrive(const CmdVelDrive&) = delete;
  CmdVelDrive& operator=(const CmdVelDrive&) = delete;

  // The drive board's connection, once its port is open.
  void attach(BoardConnection& drvb);
  void drive(int left_mm_s, int right_mm_s);
  void stop() { runner_.stop(); }
  // The node is ending: stop, and refuse every drive from now on.
  void close() { runner_.close(); }
  bool wait_stopped(std::chrono::milliseconds bound) { return runner_.wait_stopped(bound); }
  void set_blocked(std::optional<drive::Block> why) { runner_.set_blocked(std::move(why)); }
  void forget_max_velocity() { runner_.forget_max_velocity(); }
  void give_way() { runner_.give_way(); }

 private:
  void told(const drive::Outcome& outcome);

  const std::chrono::milliseconds hold_;
  NodeLog& log_;
  std::mutex told_mutex_;
  std::string last_told_;  // guarded by told_mutex_
  std::list<drive::DrvbBoard> boards_;
  drive::KeeperRunner runner_;  // last: its thread ends before the rest goes
};

// What a keeper's outcome says for the log, "" for one that says nothing
// worth a line (taken, superseded).
std::string outcome_text(const drive::Outcome& outcome);

}  // namespace tavik::cli
