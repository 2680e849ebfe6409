// The drive keeper on its thread against the simulated drive board with
// its faults: whatever the line loses or delays, a drive that is stopped
// ends with the stop last on the wire, and a stop the board does not answer
// is tried kStopAttempts times in a row, then every period until it is.
#include <gtest/gtest.h>

#include <thread>

#include "drive/drvb_board.h"
#include "drive/keeper_runner.h"
#include "facts/drvb_facts.h"
#include "sim/simulated_boards.h"
#include "tests/support/records/velocity_record.h"

namespace tavik::drive {
namespace {

using namespace std::chrono_literals;
using test::VelocityRecord;

class KeeperOnSim : public ::testing::Test {
 protected:
  KeeperOnSim() {
    Result why;
    EXPECT_EQ(connection_open(drvb_, "COM8", 200, &why), 0) << failure_name(why.failure);
  }
  ~KeeperOnSim() override {
    boards_.simulator().execute("fault clear");
    connection_close(drvb_);
  }
  sim::Simulator& sim() { return boards_.simulator(); }
  // The moving velocities the board received after its last stop.
  int moving_after_last_stop() const {
    int moving = 0;
    for (const VelocityRecord::Velocity& v : record_.velocities())
      moving = v.command == "BE;" ? 0 : moving + 1;
    return moving;
  }

  sim::SimulatedBoards boards_;
  BoardConnection drvb_{"drvb"};
  DrvbBoard board_{drvb_};
  VelocityRecord record_{boards_.simulator()};
};

TEST_F(KeeperOnSim, AStoppedDriveEndsWithTheStopLastWhateverTheLineDoes) {
  struct Row {
    const char* fault;
    bool from_caller;  // stop_here from this thread, beside the keeper's exchange
  };
  const Row rows[] = {
      {"fault drvb * silence p=0.2", false},
      {"fault drvb * silence p=0.2", true},
      {"fault drvb * delay 250 p=0.3", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.fault) + (row.from_caller ? ", stopped from the caller" : ""));
    KeeperRunner keeper({}, [](const Outcome&) {});
    keeper.attach(&board_);
    sim().execute(row.fault);
    // Streamed as the bridge's commands come, each holding it for 300 ms.
    for (int i = 0; i < 15; ++i) {
      keeper.drive(-100, 100, Clock::now() + 300ms);
      std::this_thread::sleep_for(100ms);
    }
    if (row.from_caller)
      keeper.stop_here();
    else
      keeper.stop();
    sim().execute("fault clear");
    EXPECT_TRUE(keeper.wait_stopped(3s));
    std::this_thread::sleep_for(300ms);  // what was still on its way arrives
    EXPECT_EQ(moving_after_last_stop(), 0);
  }
}

TEST_F(KeeperOnSim, AnUnansweredStopIsTriedInARowThenEveryPeriodUntilAnswered) {
  KeeperRunner keeper({}, [](const Outcome&) {});
  keeper.attach(&board_);
  keeper.drive(100, 100, Clock::now() + 5s);
  ASSERT_TRUE(record_.first("BE100;100", Clock::now() - 1s, 2s).has_value());
  sim().execute("fault drvb BE silence");
  const auto stopped = Clock::now();
  keeper.stop();
  EXPECT_FALSE(keeper.wait_stopped(1500ms));
  int stops = 0;
  for (const VelocityRecord::Velocity& v : record_.velocities())
    stops += v.seen >= stopped && v.command == "BE;";
  EXPECT_GT(stops, drvb::kStopAttempts);  // the burst, then one a period
  sim().execute("fault clear");
  EXPECT_TRUE(keeper.wait_stopped(2s));
  EXPECT_EQ(moving_after_last_stop(), 0);
}

}  // namespace
}  // namespace tavik::drive
