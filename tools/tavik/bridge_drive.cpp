#include "bridge_drive.h"

#include <cstdlib>

#include "drvb/drvb_commands.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

// At the end: how long the stop is tried while the device is lost (the
// connection reopens the port at most every 500 ms: three tries).
constexpr auto kStopWindow = std::chrono::milliseconds(1500);
constexpr int kMaxVelocityId = 0;
constexpr auto kIdleWait = std::chrono::seconds(1);

CommandOutcome failed(const Result& result, const std::string& step) {
  return {"drive", failure_row(result.failure).reason,
          step + " on the drive board failed: " + describe(result)};
}

}  // namespace

DriveControl::DriveControl(std::chrono::milliseconds dead_man, Report report)
    : dead_man_(dead_man), report_(std::move(report)), thread_([this] { run(); }) {}

DriveControl::~DriveControl() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    command_.reset();
    active_ = false;
    if (moved_) stop_owed_ = true;
    urgent_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void DriveControl::attach(BoardConnection& drvb) {
  std::lock_guard lock(mutex_);
  drvb_ = &drvb;
}

void DriveControl::drive(int left_mm_s, int right_mm_s) {
  std::optional<CommandOutcome> refusal;
  {
    std::lock_guard lock(mutex_);
    if (quit_) return;
    if (blocked_)
      refusal = *blocked_;
    else
      command_ = Command{left_mm_s, right_mm_s, Clock::now() + dead_man_};
  }
  if (refusal) {
    refusal->command = "drive";
    refusal->message = "refused: " + refusal->message;
    report_(*refusal);
    return;
  }
  changed_.notify_all();
}

void DriveControl::stop() {
  {
    std::lock_guard lock(mutex_);
    command_.reset();
    active_ = false;
    // A velocity may be on the wire right now: the stop follows its answer.
    if (drvb_ != nullptr) stop_owed_ = urgent_ = true;
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

void DriveControl::run() {
  std::unique_lock lock(mutex_);
  std::optional<Clock::time_point> quit_deadline;
  for (;;) {
    if (quit_) {
      if (!quit_deadline) quit_deadline = Clock::now() + kStopWindow;
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
    lock.unlock();
    const Result read = drvb::read_parameter(*drvb, kMaxVelocityId, &max_velocity);
    lock.lock();
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
// released during the exchange. Waits at most kIdleWait when there is nothing.
void DriveControl::serve(std::unique_lock<std::mutex>& lock) {
  auto wake = Clock::now() + kIdleWait;
  if (active_) wake = std::min(next_send_, deadline_);
  if (stop_owed_ && !active_) wake = urgent_ ? Clock::now() : std::min(wake, next_send_);
  changed_.wait_until(lock, wake, [&] { return command_.has_value() || (urgent_ && stop_owed_); });

  BoardConnection* const drvb = drvb_;
  const auto at = Clock::now();
  if (command_ && !quit_) {
    const Command command = *command_;
    command_.reset();
    if (std::optional<CommandOutcome> refused = refusal(lock, drvb, command.left, command.right)) {
      lock.unlock();
      report_(*refused);
      lock.lock();
      return;
    }
    if (command_ || (urgent_ && stop_owed_)) return;  // a later command or a stop came meanwhile
    target_ = {command.left, command.right};
    deadline_ = command.deadline;
    active_ = command.left != 0 || command.right != 0;
    urgent_ = false;
    lock.unlock();
    const Result sent = drvb::set_velocity(*drvb, command.left, command.right);
    lock.lock();
    next_send_ = Clock::now() + kVelocityPeriod;
    CommandOutcome outcome{"drive", "ok", ""};
    if (!sent.is_ok()) {
      outcome = failed(sent, "send velocity");
      active_ = false;
      stop_owed_ = true;
      max_velocity_.reset();
    } else if (active_) {
      stop_owed_ = moved_ = true;
    } else if (!urgent_) {
      stop_owed_ = moved_ = false;  // the 0,0 asked for went out
    }
    lock.unlock();
    report_(outcome);
    lock.lock();
    changed_.notify_all();
    return;
  }
  if (drvb == nullptr) return;
  if (active_ && at >= deadline_) {  // the dead-man
    active_ = false;
    urgent_ = true;
  }
  if (active_ && at >= next_send_) {
    const auto [left, right] = target_;
    lock.unlock();
    const Result sent = drvb::set_velocity(*drvb, left, right);
    lock.lock();
    next_send_ = Clock::now() + kVelocityPeriod;
    if (!sent.is_ok()) {  // the drive ends; the stop is tried until it is answered
      active_ = false;
      max_velocity_.reset();
    }
    return;
  }
  if (!active_ && stop_owed_ && (urgent_ || at >= next_send_)) {
    urgent_ = false;
    lock.unlock();
    const Result sent = drvb::set_velocity(*drvb, 0, 0);
    lock.lock();
    next_send_ = Clock::now() + kVelocityPeriod;
    // Unless a new drive began meanwhile, the wheels were told to stop.
    if (sent.is_ok() && !active_ && !urgent_) stop_owed_ = moved_ = false;
    changed_.notify_all();
  }
}

}  // namespace tavik::cli
