#include "serial/exchange/line_lock.h"

namespace tavik {

void LineLock::lock(Turn turn) {
  std::unique_lock guard(mutex_);
  if (turn == Turn::kMotion) {
    ++motion_waiting_;
    free_.wait(guard, [this] { return !held_; });
    --motion_waiting_;
    motion_owed_until_ = {};
  } else {
    for (;;) {
      if (held_ || motion_waiting_ > 0) {
        free_.wait(guard);
      } else if (Clock::now() < motion_owed_until_ && motion_owed_by_ != std::this_thread::get_id()) {
        free_.wait_until(guard, motion_owed_until_);
      } else {
        break;
      }
    }
  }
  held_ = true;
}

void LineLock::unlock() {
  {
    std::lock_guard guard(mutex_);
    held_ = false;
  }
  free_.notify_all();
}

void LineLock::owe_motion() {
  std::lock_guard guard(mutex_);
  motion_owed_until_ = Clock::now() + kMotionGrace;
  motion_owed_by_ = std::this_thread::get_id();
}

}  // namespace tavik
