#include "drive_control.h"

#include <cstdlib>

#include "drive_loop.h"
#include "drvb/drvb_commands.h"
#include "process.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxVelocityId = 0;
constexpr auto kIdleWait = std::chrono::seconds(1);
constexpr auto kGiveWayBound = std::chrono::seconds(1);

CommandOutcome failed(const Result& result, const std::string& step) {
  return {"drive", failure_row(result.failure).reason,
          step + " on the drive board failed: " + describe(result)};
}

CommandOutcome ending() { return {"drive", reason::kStopped, "refused: the bridge is ending"}; }

CommandOutcome superseded(const Json& id) {
  return {"drive", reason::kSuperseded, "a newer drive came before this one was sent", id};
}

}  // namespace

DriveControl::DriveControl(std::chrono::milliseconds dead_man, Report report)
    : dead_man_(dead_man), report_(std::move(report)), thread_([this] { run(); }) {}

DriveControl::~DriveControl() {
  {
    std::lock_guard lock(mutex_);
    quit_ = closed_ = true;
    command_.reset();
    active_ = false;
    if (moved_) stop_owed_ = urgent_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void DriveControl::attach(BoardConnection& drvb) {
  std::lock_guard lock(mutex_);
  drvb_ = &drvb;
}

void DriveControl::drive(int left_mm_s, int right_mm_s, const Json& id) {
  std::optional<CommandOutcome> refusal, overtaken;
  {
    std::lock_guard lock(mutex_);
    if (closed_) {
      refusal = ending();
    } else if (blocked_) {
      refusal = CommandOutcome{"drive", blocked_->reason, "refused: " + blocked_->message};
    } else {
      if (command_) overtaken = superseded(command_->id);
      command_ = Command{left_mm_s, right_mm_s, Clock::now() + dead_man_, id};
    }
  }
  if (overtaken) report_(*overtaken);
  if (refusal) {
    refusal->id = id;
    report_(*refusal);
    return;
  }
  changed_.notify_all();
}

void DriveControl::drop(bool closing) {
  closed_ = closed_ || closing;
  command_.reset();
  active_ = false;
  // A velocity may be on the wire right now: the stop follows its answer.
  if (drvb_ != nullptr) stop_owed_ = urgent_ = true;
}

void DriveControl::stop() {
  {
    std::lock_guard lock(mutex_);
    drop(false);
  }
  changed_.notify_all();
}

void DriveControl::close() {
  {
    std::lock_guard lock(mutex_);
    drop(true);
  }
  changed_.notify_all();
}

bool DriveControl::wait_stopped(std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, bound, [this] { return !stop_owed_ && !active_; });
}

void DriveControl::set_blocked(std::optional<CommandOutcome> why) {
  bool stopping = false;
  {
    std::lock_guard lock(mutex_);
    blocked_ = std::move(why);
    stopping = blocked_ && (active_ || command_);
  }
  if (stopping) stop();
}

void DriveControl::forget_max_velocity() {
  std::lock_guard lock(mutex_);
  max_velocity_.reset();
}

void DriveControl::give_way() {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, kGiveWayBound,
                    [this] { return !exchanging_ && !command_ && !(urgent_ && stop_owed_); });
}

void DriveControl::run() {
  std::unique_lock lock(mutex_);
  std::optional<Clock::time_point> quit_deadline;
  for (;;) {
    if (quit_) {
      if (!quit_deadline) quit_deadline = Clock::now() + kStopWindowAfterLoss;
      if (!stop_owed_ || drvb_ == nullptr || Clock::now() >= *quit_deadline) return;
    }
    serve(lock);
  }
}

// Checks a new drive against the board's Max Velocity (read once) and what
// the readings say; the reason not to send it, or nothing.
std::optional<CommandOutcome> DriveControl::refusal(std::unique_lock<std::mutex>& lock, BoardConnection* drvb,
                                                    int left, int right) {
  if (drvb == nullptr)
    return CommandOutcome{"drive", failure_row(Failure::kNotOpen).reason,
                          "the drive board's port is not open"};
  if (left == 0 && right == 0) return std::nullopt;
  if (!max_velocity_) {
    int max_velocity = 0;
    exchanging_ = true;
    lock.unlock();
    const Result read = drvb::read_parameter(*drvb, kMaxVelocityId, &max_velocity);
    lock.lock();
    exchanging_ = false;
    changed_.notify_all();
    if (!read.is_ok()) return failed(read, "read max-velocity");
    max_velocity_ = max_velocity;
  }
  if (std::abs(left) > *max_velocity_ || std::abs(right) > *max_velocity_)
    return CommandOutcome{"drive", reason::kAboveMaxVelocity,
                          std::to_string(left) + "," + std::to_string(right) +
                              " mm/s is above the board's maximum velocity of " +
                              std::to_string(*max_velocity_) + " mm/s"};
  if (blocked_) return CommandOutcome{"drive", blocked_->reason, "refused: " + blocked_->message};
  return std::nullopt;
}

// One step: waits for the next thing to do and does it, with the lock
// released during each exchange. Waits at most kIdleWait when there is nothing.
void DriveControl::serve(std::unique_lock<std::mutex>& lock) {
  auto wake = Clock::now() + kIdleWait;
  if (active_) wake = std::min(next_send_, deadline_);
  if (stop_owed_ && !active_) wake = urgent_ ? Clock::now() : std::min(wake, next_send_);
  // An end with nothing owed ends the wait too: the bridge's exit does not wait out the idle time.
  changed_.wait_until(
      lock, wake, [&] { return command_.has_value() || (urgent_ && stop_owed_) || (quit_ && !stop_owed_); });

  // A stop request the main loop has not taken yet (it may be reading the boards).
  if (!closed_ && stop_requested()) drop(true);
  BoardConnection* const drvb = drvb_;
  const auto at = Clock::now();
  if (active_ && at >= deadline_) {  // the dead-man
    active_ = false;
    urgent_ = true;
  }
  // The stop owed first, also before a new command; a board that did not
  // answer the stop gets no drive (its answers are what says it took one).
  if (drvb != nullptr && !active_ && stop_owed_ && (urgent_ || command_ || at >= next_send_)) {
    const Result stop = send_stop(lock, drvb);
    if (!stop.is_ok() && command_) {
      CommandOutcome outcome = failed(stop, "send the stop owed before the drive");
      outcome.id = command_->id;
      command_.reset();
      lock.unlock();
      report_(outcome);
      lock.lock();
      return;
    }
  }
  if (command_) {
    handle(lock, drvb);
  } else if (drvb != nullptr && active_ && at >= next_send_) {
    const auto [left, right] = target_;
    const Result result = exchange(lock, *drvb, left, right);
    sent(result, left, right);
  }
}

// A new drive command: checked, then its first velocity.
void DriveControl::handle(std::unique_lock<std::mutex>& lock, BoardConnection* drvb) {
  const Command command = *command_;
  command_.reset();
  std::optional<CommandOutcome> refused = refusal(lock, drvb, command.left, command.right);
  if (!refused && closed_) refused = ending();
  // A later command or a stop came meanwhile.
  if (!refused && command_) refused = superseded(command.id);
  if (!refused && urgent_ && stop_owed_)
    refused = CommandOutcome{"drive", reason::kStopped, "a stop came before this drive was sent"};
  if (refused) {
    refused->id = command.id;
    lock.unlock();
    report_(*refused);
    lock.lock();
    return;
  }
  target_ = {command.left, command.right};
  deadline_ = command.deadline;
  active_ = command.left != 0 || command.right != 0;
  urgent_ = false;
  const Result result = exchange(lock, *drvb, command.left, command.right);
  sent(result, command.left, command.right);
  CommandOutcome outcome =
      result.is_ok() ? CommandOutcome{"drive", "ok", ""} : failed(result, "send velocity");
  outcome.id = command.id;
  lock.unlock();
  report_(outcome);
  lock.lock();
}

Result DriveControl::exchange(std::unique_lock<std::mutex>& lock, BoardConnection& drvb, int left,
                              int right) {
  exchanging_ = true;
  lock.unlock();
  const Result result = drvb::set_velocity(drvb, left, right);
  lock.lock();
  exchanging_ = false;
  changed_.notify_all();
  return result;
}

void DriveControl::sent(const Result& result, int left, int right) {
  next_send_ = Clock::now() + kVelocityPeriod;
  const bool moving = left != 0 || right != 0;
  if (!result.is_ok()) {
    // A spoiled reply may follow a request the board took: it stops at once.
    active_ = false;
    stop_owed_ = urgent_ = true;
    moved_ = moved_ || moving;
    // Read again only for a board that may be another one: a lost reply
    // does not change it, and reading it would hold the next velocity up.
    if (is_port_loss(result.failure)) max_velocity_.reset();
  } else if (moving) {
    stop_owed_ = moved_ = true;  // also when a stop came meanwhile: it follows
  } else {
    stop_owed_ = moved_ = urgent_ = false;  // only this thread sends: 0,0 is the last on the wire
  }
  changed_.notify_all();
}

// One try of the stop; the next one, if it fails, after kVelocityPeriod.
Result DriveControl::send_stop(std::unique_lock<std::mutex>& lock, BoardConnection* drvb) {
  urgent_ = false;
  const Result result = exchange(lock, *drvb, 0, 0);
  if (result.is_ok()) {
    sent(result, 0, 0);
  } else {
    next_send_ = Clock::now() + kVelocityPeriod;
    changed_.notify_all();
  }
  return result;
}

}  // namespace tavik::cli
