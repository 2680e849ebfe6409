// The bridge's drive: one thread of its own sends every velocity request
// (BE) to the drive board, so that the order on the wire is its order. A
// drive command is sent at once and then every kVelocityPeriod, for the
// dead-man time after the command's arrival only; then 0,0. A stop (the
// broker lost, the bridge ending, the servo switched off, a bumper) drops
// the drive and sends 0,0 at once; a failed velocity request drops it too
// (the board may have taken it), and the stop is tried at once and then
// every kVelocityPeriod until it is answered. A stop owed goes out before a
// new command is handled, so that a board that fails every command still
// gets a 0,0 for each, and the command is refused while the stop goes
// unanswered. Nothing starts moving again but a new command; once
// the bridge ends (close, or a stop request pending for the process) none
// is carried out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "board_readings.h"
#include "facts/defaults.h"

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
  // Stops the drive, sends 0,0 if a velocity went out since the last stop
  // (for at most kStopWindowAfterLoss while the device is lost), and joins.
  ~DriveControl();
  DriveControl(const DriveControl&) = delete;
  DriveControl& operator=(const DriveControl&) = delete;

  // The drive board's connection, once its port is open.
  void attach(BoardConnection& drvb);
  // A drive command that arrived now; answered through report once the
  // board took its first request, or refused without a request, or as
  // superseded when a newer one came before it was sent.
  void drive(int left_mm_s, int right_mm_s, const Json& id = nullptr);
  // Drops the drive and sends 0,0 at once.
  void stop();
  // The bridge is ending: stop, and refuse every drive from now on.
  void close();
  // Waits at most bound for the stop owed to be answered; true when none is owed.
  bool wait_stopped(std::chrono::milliseconds bound);
  // What the latest reading says against driving (a reason code of
  // reason:: and a text), or nothing: while it says something, a drive
  // stops and a new one is refused.
  void set_blocked(std::optional<CommandOutcome> why);
  // The board's Max Velocity is read again before the next drive.
  void forget_max_velocity();
  // For another user of the drive board's line, between its requests: waits
  // (for at most a second) while the drive has a request to make, so that a
  // stop owed never waits behind the readings of a board that does not answer.
  void give_way();

 private:
  void run();
  void serve(std::unique_lock<std::mutex>& lock);
  void handle(std::unique_lock<std::mutex>& lock, BoardConnection* drvb);
  Result send_stop(std::unique_lock<std::mutex>& lock, BoardConnection* drvb);
  // One velocity request, with the lock released meanwhile.
  Result exchange(std::unique_lock<std::mutex>& lock, BoardConnection& drvb, int left, int right);
  // Marks the end of a velocity request that went out: a failed one drops
  // the drive and makes the stop owed at once.
  void sent(const Result& result, int left, int right);
  void drop(bool closing);
  std::optional<CommandOutcome> refusal(std::unique_lock<std::mutex>& lock, BoardConnection* drvb, int left,
                                        int right);

  const std::chrono::milliseconds dead_man_;
  const Report report_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_:
  BoardConnection* drvb_ = nullptr;
  struct Command {
    int left, right;
    std::chrono::steady_clock::time_point deadline;  // its dead-man
    Json id;
  };
  std::optional<Command> command_;  // arrived, not yet sent
  bool active_ = false;             // a drive is on: target_ until deadline_
  std::pair<int, int> target_{0, 0};
  std::chrono::steady_clock::time_point deadline_{};
  std::chrono::steady_clock::time_point next_send_{};
  bool stop_owed_ = false;  // a velocity went out since the last answered stop
  bool moved_ = false;      // a velocity other than 0,0 went out since then
  bool urgent_ = false;     // the stop owed goes out now, not at next_send_
  std::optional<CommandOutcome> blocked_;
  std::optional<int> max_velocity_;
  bool closed_ = false;      // the bridge is ending: no drive any more
  bool exchanging_ = false;  // a velocity request is waiting for the line or on it
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace tavik::cli
