// The bridge's drive (DriveControl) on the in-process simulator, without a
// broker: the dead-man ends a drive its commands no longer hold, a stop goes
// out at once, and a drive that may not start is refused with its reason and
// sends nothing.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "drive_control.h"
#include "sim/simulated_boards.h"
#include "tests/support/records/velocity_record.h"

namespace tavik::cli {
namespace {

using namespace std::chrono_literals;
using test::VelocityRecord;
using Clock = std::chrono::steady_clock;

// The simulated boards, the drive board's connection, the velocity
// requests the board received and the outcomes the drive reported.
class BridgeDrive : public ::testing::Test {
 protected:
  BridgeDrive() {
    Result why;
    EXPECT_EQ(connection_open(drvb_, "COM8", 200, &why), 0) << failure_name(why.failure);
  }
  ~BridgeDrive() override { connection_close(drvb_); }

  DriveControl::Report reporter() {
    return [this](const CommandOutcome& outcome) {
      std::lock_guard lock(mutex_);
      outcomes_.push_back(outcome);
      changed_.notify_all();
    };
  }
  // The next outcome reported, waiting up to 2 s.
  std::optional<CommandOutcome> next_outcome() {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, 2s, [this] { return taken_ < outcomes_.size(); })) return std::nullopt;
    return outcomes_[taken_++];
  }

  sim::SimulatedBoards boards_;
  BoardConnection drvb_{"drvb"};
  VelocityRecord velocities_{boards_.simulator()};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<CommandOutcome> outcomes_;
  std::size_t taken_ = 0;
};

TEST_F(BridgeDrive, TheDeadManStopsADriveAfterItsLastCommand) {
  DriveControl drive(300ms, reporter());
  drive.attach(drvb_);
  const auto start = Clock::now();
  drive.drive(100, -100);
  const std::optional<CommandOutcome> taken = next_outcome();
  ASSERT_TRUE(taken.has_value());
  EXPECT_TRUE(taken->ok()) << taken->reason << ": " << taken->message;
  const auto first = velocities_.first("BE100;-100", start, 1s);
  ASSERT_TRUE(first.has_value());
  const auto stop = velocities_.first("BE;", *first, 2s);
  ASSERT_TRUE(stop.has_value());
  // Held for the dead-man time, repeated meanwhile; nothing but the stop after it.
  EXPECT_GE(*stop - start, 250ms);
  EXPECT_TRUE(drive.wait_stopped(1s));
  int repeats = 0;
  for (const VelocityRecord::Velocity& v : velocities_.velocities()) {
    if (v.command == "BE100;-100") {
      ++repeats;
      EXPECT_LT(v.seen, *stop);
    }
  }
  EXPECT_GE(repeats, 2);
}

TEST_F(BridgeDrive, AStopGoesOutAtOnceAndABlockedDriveIsRefused) {
  DriveControl drive(10s, reporter());
  drive.attach(drvb_);
  drive.drive(200, 200);
  ASSERT_TRUE(next_outcome().has_value());
  ASSERT_TRUE(velocities_.first("BE200;200", Clock::now() - 1s, 1s).has_value());
  // A bumper in the readings: the drive stops long before its dead-man.
  const auto blocked_at = Clock::now();
  drive.set_blocked(CommandOutcome{"drive", reason::kBumperClosed, "a bumper is closed"});
  ASSERT_TRUE(velocities_.first("BE;", blocked_at, 1s).has_value());
  EXPECT_TRUE(drive.wait_stopped(1s));
  drive.drive(200, 200);
  const std::optional<CommandOutcome> refused = next_outcome();
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->reason, reason::kBumperClosed);
  EXPECT_EQ(refused->message, "refused: a bumper is closed");
  // Clear again: the next command drives.
  drive.set_blocked(std::nullopt);
  drive.drive(50, 50);
  const std::optional<CommandOutcome> taken = next_outcome();
  ASSERT_TRUE(taken.has_value());
  EXPECT_TRUE(taken->ok()) << taken->message;
}

TEST_F(BridgeDrive, ADriveThatMayNotStartIsRefusedAndSendsNothing) {
  struct Case {
    const char* what;
    int left, right;
    const char* reason;
    const char* message;
  };
  // In this order on one drive, whose board's Max Velocity is 1000 mm/s;
  // then it is closed, as the bridge ending closes it.
  const Case cases[] = {
      {"too fast", 1001, 0, "above-max-velocity",
       "1001,0 mm/s is above the board's maximum velocity of 1000 mm/s"},
      {"too fast backwards", 0, -1500, "above-max-velocity", "maximum velocity of 1000"},
      {"ending", 100, 100, "stopped", "refused: the bridge is ending"},
  };
  // Before the drive board's port opened.
  DriveControl unattached(1s, reporter());
  unattached.drive(100, 100);
  const std::optional<CommandOutcome> not_open = next_outcome();
  ASSERT_TRUE(not_open.has_value());
  EXPECT_EQ(not_open->reason, "not-open");
  EXPECT_EQ(not_open->message, "the drive board's port is not open");
  DriveControl drive(1s, reporter());
  drive.attach(drvb_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.reason) == "stopped") drive.close();
    const auto since = Clock::now();
    drive.drive(c.left, c.right);
    const std::optional<CommandOutcome> refused = next_outcome();
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->command, "drive");
    EXPECT_EQ(refused->reason, c.reason);
    EXPECT_NE(refused->message.find(c.message), std::string::npos) << refused->message;
    EXPECT_FALSE(
        velocities_.first("BE" + std::to_string(c.left) + ";" + std::to_string(c.right), since, 150ms))
        << "a refused drive went out";
  }
  EXPECT_TRUE(velocities_.first("BE100;100", Clock::now() - 10s, 0ms) == std::nullopt);
}

}  // namespace
}  // namespace tavik::cli

namespace tavik::cli {
namespace {

// The bridge's exit does not wait out the drive thread's idle time (1 s):
// an end with no stop owed wakes it at once.
TEST_F(BridgeDrive, AnIdleDriveEndsWithoutWaitingOutItsIdleTime) {
  for (const bool attached : {false, true}) {
    const auto start = Clock::now();
    {
      DriveControl drive(1s, reporter());
      if (attached) drive.attach(drvb_);
      std::this_thread::sleep_for(50ms);  // into its idle wait
    }
    EXPECT_LT(Clock::now() - start, 700ms) << (attached ? "attached" : "not attached");
  }
}

}  // namespace
}  // namespace tavik::cli
