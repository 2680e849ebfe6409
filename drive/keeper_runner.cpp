#include "drive/keeper_runner.h"

#include "facts/drvb_facts.h"

namespace tavik::drive {
namespace {

constexpr auto kIdleWait = std::chrono::seconds(1);
constexpr auto kGiveWayBound = std::chrono::seconds(1);

}  // namespace

KeeperRunner::KeeperRunner(Settings settings, Report report, std::function<bool()> ending, Thread thread)
    : report_(std::move(report)), ending_(std::move(ending)), keeper_(settings) {
  keeper_.attach(false);
  if (thread == Thread::kOwn) thread_ = std::thread([this] { run(); });
}

KeeperRunner::~KeeperRunner() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    keeper_.close();
    poked_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void KeeperRunner::make(std::unique_lock<std::mutex>& lock, const Exchange& exchange) {
  DriveBoard* const board = board_;
  lock.unlock();
  const Answer answer = board->exchange(exchange);
  lock.lock();
  keeper_.answered(exchange, answer, Clock::now());
  changed_.notify_all();
}

// The stop from the caller, again at once while unanswered (kStopAttempts in all).
void KeeperRunner::burst(std::unique_lock<std::mutex>& lock) {
  for (int attempt = 0; board_ != nullptr && attempt < drvb::kStopAttempts; ++attempt) {
    const std::optional<Exchange> stop = keeper_.stop_now();
    if (!stop) break;
    make(lock, *stop);
    if (!keeper_.urgent()) break;
  }
  poke();
  flush(lock);
}

void KeeperRunner::poke() {
  poked_ = true;
  changed_.notify_all();
}

// Reports what the keeper told, with the lock released meanwhile.
void KeeperRunner::flush(std::unique_lock<std::mutex>& lock) {
  std::vector<Outcome> outcomes = keeper_.take_outcomes();
  if (outcomes.empty()) return;
  lock.unlock();
  for (const Outcome& outcome : outcomes) report_(outcome);
  lock.lock();
}

void KeeperRunner::attach(DriveBoard* board) {
  std::lock_guard lock(mutex_);
  board_ = board;
  keeper_.attach(board != nullptr);
  poke();
}

void KeeperRunner::drive(int left, int right, Time until, std::uint64_t tag) {
  std::unique_lock lock(mutex_);
  keeper_.drive(left, right, until, tag);
  poke();
  flush(lock);
}

void KeeperRunner::drive_since(unsigned seen, int left, int right, Time until) {
  std::unique_lock lock(mutex_);
  if (seen != releases_) return;
  keeper_.drive(left, right, until);
  poke();
  flush(lock);
}

unsigned KeeperRunner::releases() {
  std::lock_guard lock(mutex_);
  return releases_;
}

void KeeperRunner::stop() {
  std::unique_lock lock(mutex_);
  keeper_.stop();
  poke();
  flush(lock);
}

void KeeperRunner::stop_here() { let_go(true); }

void KeeperRunner::release() { let_go(false); }

void KeeperRunner::let_go(bool moved_too) {
  std::unique_lock lock(mutex_);
  ++releases_;
  const bool now = keeper_.in_flight() || (moved_too && keeper_.moved());
  keeper_.stop();
  flush(lock);
  if (now) burst(lock);
  poke();
}

void KeeperRunner::serve() {
  std::unique_lock lock(mutex_);
  while (board_ != nullptr) {
    const std::optional<Exchange> exchange = keeper_.next(Clock::now());
    if (!exchange) break;
    make(lock, *exchange);
  }
  flush(lock);
}

void KeeperRunner::close() {
  std::unique_lock lock(mutex_);
  keeper_.close();
  poke();
  flush(lock);
}

bool KeeperRunner::wait_stopped(std::chrono::milliseconds bound) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, bound, [this] { return !keeper_.stop_owed() && !keeper_.driving(); });
}

void KeeperRunner::set_blocked(std::optional<Block> why) {
  std::unique_lock lock(mutex_);
  keeper_.set_blocked(std::move(why));
  poke();
  flush(lock);
}

void KeeperRunner::forget_max_velocity() {
  std::lock_guard lock(mutex_);
  keeper_.forget_max_velocity();
}

void KeeperRunner::give_way() {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, kGiveWayBound,
                    [this] { return !keeper_.in_flight() && !keeper_.pending() && !keeper_.urgent(); });
}

void KeeperRunner::run() {
  std::unique_lock lock(mutex_);
  std::optional<Time> quit_deadline;
  for (;;) {
    if (quit_) {
      if (!quit_deadline) quit_deadline = Clock::now() + kStopWindowAfterLoss;
      if (!keeper_.stop_owed() || board_ == nullptr || Clock::now() >= *quit_deadline) return;
    }
    if (ending_ && !keeper_.closed() && ending_()) keeper_.close();
    // Without a board (detached) the keeper refuses what comes and hands out nothing.
    const std::optional<Exchange> exchange = keeper_.next(Clock::now());
    if (exchange) {
      make(lock, *exchange);
      flush(lock);
      continue;
    }
    flush(lock);
    changed_.notify_all();
    Time wake = std::min(keeper_.wake(), Clock::now() + kIdleWait);
    if (quit_deadline) wake = std::min(wake, *quit_deadline);
    changed_.wait_until(lock, wake, [this] { return poked_; });
    poked_ = false;
  }
}

}  // namespace tavik::drive
