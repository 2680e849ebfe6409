// The drive line while a fifth of the drive board's requests go unanswered:
// every way out of the jogging puts the stop on the line after it, and no
// moving velocity follows the stop.
#include "sim_console_fixture.h"
#include "tests/support/records/velocity_record.h"

namespace tavik::test {
namespace {

class DriveUnderLoss : public SimConsoleTest {
 protected:
  // Left held with every drive board poller running, for a while.
  void jog_left() {
    for (int id : {IDC_ROBOT_CTRL_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) click(id);
    dlg().OnJogPressed(IDC_LEFT);
  }
};

TEST_F(DriveUnderLoss, EveryWayOutStopsTheWheelsLast) {
  struct Case {
    const char* name;
    std::function<void(CConsoleDlg&)> way_out;
  };
  const Case cases[] = {
      {"close", [](CConsoleDlg& d) { d.OnDestroy(); }},
      {"let go", [](CConsoleDlg& d) { d.OnJogReleased(); }},
      {"disable", [](CConsoleDlg& d) { d.OnCommand(IDC_ROBOT_CTRL_DISABLE); }},
      {"disconnect", [](CConsoleDlg& d) { d.OnCommand(IDC_DRVB_DISCONNECT); }},
  };
  ASSERT_EQ(sim_.execute("fault drvb * silence p=0.2").rfind("error", 0), std::string::npos);
  for (const Case& c : cases) {
    for (int round = 0; round < 2; ++round) {
      SCOPED_TRACE(std::string(c.name) + " " + std::to_string(round));
      if (round > 0 || &c != &cases[0]) {
        dlg_ = std::make_unique<CConsoleDlg>(window_);
        SetUp();
      }
      VelocityRecord record(sim_);
      jog_left();
      // At another place of the drive period each round.
      std::this_thread::sleep_for(milliseconds(500 + 41 * round));
      const auto event = std::chrono::steady_clock::now();
      c.way_out(dlg());
      const auto stop = record.first("BE;", event, std::chrono::seconds(2));
      ASSERT_TRUE(stop.has_value()) << "no stop after " << c.name;
      std::this_thread::sleep_for(milliseconds(400));  // what a step in progress might still send
      dlg().OnDestroy();
      for (const auto& v : record.velocities()) {
        if (v.seen > *stop) {
          EXPECT_EQ(v.command, "BE;") << "a velocity after the stop";
        }
      }
    }
  }
}

// Replies a quarter second late: the board gets every request, so the
// velocities keep coming often enough that its watchdog never trips.
TEST_F(DriveUnderLoss, LateRepliesNeverStarveTheBoard) {
  ASSERT_EQ(sim_.execute("fault drvb * delay 250 p=0.2").rfind("error", 0), std::string::npos);
  jog_left();
  for (int i = 0; i < 40; ++i) {
    const sim::SimStatus s = sim_.status();
    ASSERT_EQ((s.drive_error_left | s.drive_error_right) & sim::kDriveErrCommTimeout, 0)
        << "after " << i * 100 << " ms";
    std::this_thread::sleep_for(milliseconds(100));
  }
  EXPECT_NE(sim_.status().velocity_left, 0);
}

}  // namespace
}  // namespace tavik::test
