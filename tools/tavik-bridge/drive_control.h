// The bridge's drive, on the drive keeper (drive/keeper.h) and its thread
// (drive/keeper_runner.h), which sends every velocity request (BE) to the
// drive board, so that the order on the wire is its order. A drive command
// is sent at once and then every kVelocityPeriod, for the dead-man time
// after the command's arrival only; then 0,0. A stop (the broker lost, the
// bridge ending, the servo switched off, a bumper) drops the drive and
// sends 0,0 at once; a failed velocity request drops it too (the board may
// have taken it), and the stop is tried at once, kStopAttempts times in a
// row while unanswered, then every kVelocityPeriod until it is answered. A
// stop owed goes out before a new command is handled, so that a board that
// fails every command still gets a 0,0 for each, and the command is refused
// while the stop goes unanswered. Nothing starts moving again but a new
// command; once the bridge ends (close, or a stop request pending for the
// process) none is carried out.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "board_readings.h"
#include "drive/drvb_board.h"
#include "drive/keeper_runner.h"

namespace tavik::cli {

// The answer to one command, for cmd/result: "ok", or a reason code and a message.
struct CommandOutcome {
  std::string command;
  std::string reason = "ok";
  std::string message;
  Json id = nullptr;  // the command's own id, echoed in its result
  bool ok() const { return reason == "ok"; }
};

class DriveControl {
 public:
  using Report = std::function<void(const CommandOutcome&)>;
  DriveControl(std::chrono::milliseconds dead_man, Report report);
  // Stops the drive, sends 0,0 when one is owed (for at most
  // drive::kStopWindowAfterLoss while the device is lost), and joins.
  ~DriveControl() = default;
  DriveControl(const DriveControl&) = delete;
  DriveControl& operator=(const DriveControl&) = delete;

  // The drive board's connection, once its port is open.
  void attach(BoardConnection& drvb);
  // A drive command that arrived now; answered through report once the
  // board took its first request, or refused without a request, or as
  // superseded when a newer one came before it was sent.
  void drive(int left_mm_s, int right_mm_s, const Json& id = nullptr);
  // Drops the drive and sends 0,0 at once.
  void stop() { runner_.stop(); }
  // The bridge is ending: stop, and refuse every drive from now on.
  void close() { runner_.close(); }
  // Waits at most bound for the stop owed to be answered; true when none is owed.
  bool wait_stopped(std::chrono::milliseconds bound) { return runner_.wait_stopped(bound); }
  // What the latest reading says against driving (a reason code of
  // reason:: and a text), or nothing: while it says something, a drive
  // stops and a new one is refused.
  void set_blocked(std::optional<CommandOutcome> why);
  // The board's Max Velocity is read again before the next drive.
  void forget_max_velocity() { runner_.forget_max_velocity(); }
  // For another user of the drive board's line, between its requests: waits
  // (for at most a second) while the drive has a request to make, so that a
  // stop owed never waits behind the readings of a board that does not answer.
  void give_way() { runner_.give_way(); }

 private:
  // A keeper's outcome as the command's result, if it has one.
  void told(const drive::Outcome& outcome);

  const std::chrono::milliseconds dead_man_;
  const Report report_;
  std::mutex ids_mutex_;
  std::map<std::uint64_t, Json> ids_;  // guarded by ids_mutex_: the commands not yet answered
  std::uint64_t next_tag_ = 0;         // guarded by ids_mutex_
  // Every connection attached, kept while the keeper's thread may use one.
  std::list<drive::DrvbBoard> boards_;
  drive::KeeperRunner runner_;  // last: its thread ends before the rest goes
};

}  // namespace tavik::cli
