// The lock of one board's line, which serves motion first: a velocity or a
// stop waits at most for the exchange already on the wire, while reads and
// other commands wait as long as a velocity waits, and for a short while
// after a velocity failed, so that the next one goes before them; the thread
// that sent it is not kept waiting for itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tavik {

// How long, after a failed velocity, other commands leave the line to the
// next velocity of the one who drives.
inline constexpr std::chrono::milliseconds kMotionGrace{100};

class LineLock {
 public:
  enum class Turn { kMotion, kOther };

  void lock(Turn turn);
  void unlock();
  // While held: the next turn is motion's, for at most kMotionGrace.
  void owe_motion();

  class Guard {
   public:
    Guard(LineLock& lock, Turn turn) : lock_(lock) { lock_.lock(turn); }
    ~Guard() { lock_.unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    LineLock& lock_;
  };

 private:
  using Clock = std::chrono::steady_clock;

  std::mutex mutex_;
  std::condition_variable free_;
  // Guarded by mutex_:
  bool held_ = false;
  int motion_waiting_ = 0;
  Clock::time_point motion_owed_until_{};
  std::thread::id motion_owed_by_{};
};

}  // namespace tavik
