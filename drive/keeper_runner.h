// The keeper shared between threads, for the programs that drive from
// events (the bridge's commands, the console's jog): every exchange the
// keeper hands out goes to the board from one thread, in its order, its
// own or (without one) the owner's worker calling serve; a stop asked for
// with stop_here or release goes from the caller at once, beside an
// exchange in flight (the line lets a stop overtake a waiting velocity).
// Outcomes are reported from the thread that made them, outside the lock.
// Every wait is bounded.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "drive/drive_board.h"
#include "drive/keeper.h"

namespace tavik::drive {

// After the device was lost: how long a stop is tried on the way out. The
// connection reopens the port at most every 500 ms, so this covers three tries.
inline constexpr auto kStopWindowAfterLoss = std::chrono::milliseconds(1500);

class KeeperRunner {
 public:
  using Report = std::function<void(const Outcome&)>;
  enum class Thread { kOwn, kCaller };
  // ending, when given, is asked before each step: true closes the keeper
  // (a stop request pending for the process).
  KeeperRunner(Settings settings, Report report, std::function<bool()> ending = {},
               Thread thread = Thread::kOwn);
  // Closes and, with a thread of its own, sends the stop owed (for at most
  // kStopWindowAfterLoss) and joins.
  ~KeeperRunner();
  KeeperRunner(const KeeperRunner&) = delete;
  KeeperRunner& operator=(const KeeperRunner&) = delete;

  // The board, once its port is open (null: none, every drive is refused).
  void attach(DriveBoard* board);
  void drive(int left, int right, Time until, std::uint64_t tag = 0);
  // As drive, unless stop_here or release came since releases() gave
  // `seen`: a drive decided from what the user held before letting go.
  void drive_since(unsigned seen, int left, int right, Time until);
  unsigned releases();
  // Drops the drive; the stop goes from the keeper's thread at once.
  void stop();
  // Drops the drive and, when a velocity may have reached the board since
  // the last answered stop, sends the stop from this thread now,
  // kStopAttempts times while unanswered.
  void stop_here();
  // The user let go: drops the drive, and sends the stop from this thread
  // now when a velocity is on its way, else leaves it to the thread that
  // serves (nothing moving goes after it either way).
  void release();
  // Without a thread of its own: makes every exchange due now, on the caller's thread.
  void serve();
  void close();
  // Waits at most bound until no drive is on and no stop is owed; true then.
  bool wait_stopped(std::chrono::milliseconds bound);
  void set_blocked(std::optional<Block> why);
  void forget_max_velocity();
  // For another user of the board's line, between its requests: waits (at
  // most a second) while the keeper has a request to make.
  void give_way();

 private:
  void run();
  void poke();
  void flush(std::unique_lock<std::mutex>& lock);
  // One exchange handed out, made with the lock released.
  void make(std::unique_lock<std::mutex>& lock, const Exchange& exchange);
  void burst(std::unique_lock<std::mutex>& lock);
  // Drops the drive, counts a release, and sends the stop from this thread
  // now while a velocity is in flight (moved_too: or may have reached the board).
  void let_go(bool moved_too);

  const Report report_;
  const std::function<bool()> ending_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_:
  Keeper keeper_;
  DriveBoard* board_ = nullptr;
  bool poked_ = false;
  bool quit_ = false;
  unsigned releases_ = 0;  // stop_here and release calls
  std::thread thread_;
};

}  // namespace tavik::drive
