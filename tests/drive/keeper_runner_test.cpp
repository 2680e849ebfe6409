// The keeper shared between a worker that serves it and a user who lets
// go: whatever order the answers come in, nothing moving goes to the
// board after the release's stop.
#include "drive/keeper_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavik::drive {
namespace {

using namespace std::chrono_literals;

// A board whose moving velocities wait, unanswered, until the test lets
// them go; stops are answered at once, or (stops_queue) once the velocity
// before them has its answer, as on one line.
class HeldBoard : public DriveBoard {
 public:
  explicit HeldBoard(bool stops_queue) : stops_queue_(stops_queue) {}
  Answer exchange(const Exchange& e) override {
    std::unique_lock lock(mutex_);
    if (e.is_stop()) {
      changed_.wait_for(lock, 2s, [this] { return !stops_queue_ || moving_ == 0; });
      wire_.push_back("stop");
      return {};
    }
    wire_.push_back("move");
    ++moving_;
    changed_.notify_all();
    changed_.wait_for(lock, 2s, [this] { return let_go_; });
    --moving_;
    changed_.notify_all();
    return Answer{Result(Failure::kNoReply)};
  }
  // Until a velocity waits for its answer.
  bool wait_for_move() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 2s, [this] { return moving_ > 0; });
  }
  void let_go() {
    std::lock_guard lock(mutex_);
    let_go_ = true;
    changed_.notify_all();
  }
  std::vector<std::string> wire() {
    std::lock_guard lock(mutex_);
    return wire_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> wire_;
  const bool stops_queue_;
  int moving_ = 0;
  bool let_go_ = false;
};

// What went after the first stop: nothing but stops.
int moving_after_first_stop(const std::vector<std::string>& wire) {
  const auto stop = std::find(wire.begin(), wire.end(), "stop");
  return static_cast<int>(std::count(stop, wire.end(), "move"));
}

TEST(KeeperRunner, NothingMovingFollowsARelease) {
  struct Row {
    const char* when;
    bool stops_queue;     // the release's stop waits for the velocity's failure
    bool decided_before;  // the worker read what was held before the release
  };
  const Row rows[] = {
      {"while a velocity waits for its answer, its failure after the stop's answer", false, false},
      {"while a velocity waits for its answer, its failure before the stop's answer", true, false},
      {"between the worker reading the buttons and its drive", false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.when);
    HeldBoard board(row.stops_queue);
    KeeperRunner keeper(
        {.check_max_velocity = false, .hold_still = true, .held = true}, [](const Outcome&) {}, {},
        KeeperRunner::Thread::kCaller);
    keeper.attach(&board);
    const auto step = [&](unsigned seen) {
      keeper.drive_since(seen, -200, 200, Clock::now() + 1s);
      keeper.serve();
    };
    if (row.decided_before) {
      board.let_go();
      const unsigned seen = keeper.releases();
      keeper.release();
      step(seen);
    } else {
      std::thread worker(step, keeper.releases());
      EXPECT_TRUE(board.wait_for_move());
      std::thread user([&] { keeper.release(); });
      if (!row.stops_queue) user.join();
      board.let_go();
      if (user.joinable()) user.join();
      worker.join();
    }
    // A period on, when a drive kept would go again.
    std::this_thread::sleep_for(kVelocityPeriod + 20ms);
    keeper.serve();
    EXPECT_EQ(moving_after_first_stop(board.wire()), 0) << ::testing::PrintToString(board.wire());
    EXPECT_FALSE(board.wire().empty());
    EXPECT_EQ(board.wire().back(), "stop");
  }
}

}  // namespace
}  // namespace tavik::drive
