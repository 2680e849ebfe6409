// The console's logic against both simulated boards, through the real
// libraries and the boards' COM<n> links.
#include <cstdlib>

#include "sim_console_fixture.h"

namespace tavik::test {
namespace {

using sim::Board;

TEST_F(SimConsoleTest, PollersShowWhatTheBoardsReport) {
  for (int id : {IDC_USONIC_ENABLE, IDC_POWER_DATA_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) click(id);

  click(IDC_SENSORS_ON);
  click(IDC_LCD_ON);
  EXPECT_TRUE(status([](const sim::SimStatus& s) { return s.devices[1] && s.devices[5]; }));
  // Each state field shows its device, by the board's device numbers.
  const int state_fields[] = {IDC_DRIVE_STATE, IDC_SENSORS_STATE, IDC_LRF_STATE,  IDC_SBC_STATE,
                              IDC_SG_STATE,    IDC_LCD_STATE,     IDC_SERVO_STATE};
  EXPECT_TRUE(eventually([&] {
    const auto devices = sim_.status().devices;
    const auto s = state();
    for (std::size_t d = 0; d < devices.size(); ++d) {
      if (s.text(state_fields[d]) != (devices[d] ? "On" : "Off")) return false;
    }
    return s.text(IDC_SENSORS_STATE) == "On" && s.text(IDC_LCD_STATE) == "On";
  }));
  EXPECT_GT(std::atoi(state().text(IDC_BATTERY_VOLT).c_str()), 0);
  click(IDC_LCD_OFF);
  EXPECT_TRUE(shows(IDC_LCD_STATE, "Off"));

  // The ranges in metres, as the board measures them (within its jitter).
  ASSERT_TRUE(refreshed(IDC_USONIC_RANGE7, 2, 1));
  const auto ranges = sim_.status().ranges_mm;
  const auto s = state();
  for (int i = 0; i < 7; ++i) {
    EXPECT_NEAR(std::atof(s.text(IDC_USONIC_RANGE1 + i).c_str()),
                ranges[static_cast<std::size_t>(i)] / 1000.0, 0.05)
        << "sensor " << i + 1 << ": " << s.text(IDC_USONIC_RANGE1 + i);
  }

  EXPECT_TRUE(shows(IDC_EMG, "Off"));
  sim_.set_emergency(true);
  EXPECT_TRUE(shows(IDC_EMG, "On"));
  sim_.press_bumpers(false, true);
  EXPECT_TRUE(shows(IDC_BUMPER_RIGHT, "Bump"));
  EXPECT_EQ(state().text(IDC_BUMPER_LEFT), "Off");
  EXPECT_TRUE(shows(IDC_ENCODER_LEFT, "0"));
}

TEST_F(SimConsoleTest, JoggingDrivesTheRobotUntilReleased) {
  click(IDC_ENCODER_ENABLE);
  click(IDC_ROBOT_CTRL_ENABLE);
  EXPECT_TRUE(status([](const sim::SimStatus& s) { return s.servo_on; }));
  const double x0 = sim_.status().x_mm;

  dlg().OnJogPressed(IDC_FRONT);
  EXPECT_TRUE(
      status([](const sim::SimStatus& s) { return s.velocity_left == 200 && s.velocity_right == 200; }));
  EXPECT_TRUE(window_.wait_for(
      [](const WindowState& s) { return std::atoi(s.text(IDC_ENCODER_LEFT).c_str()) > 100; }));
  dlg().OnJogReleased();
  EXPECT_TRUE(status([](const sim::SimStatus& s) { return s.velocity_left == 0 && s.velocity_right == 0; }));
  EXPECT_GT(sim_.status().x_mm, x0);

  dlg().OnJogPressed(IDC_LEFT);
  EXPECT_TRUE(
      status([](const sim::SimStatus& s) { return s.velocity_left == -200 && s.velocity_right == 200; }));
  click(IDC_ROBOT_CTRL_DISABLE);
  EXPECT_TRUE(status([](const sim::SimStatus& s) { return !s.servo_on; }));
  // The last velocity the board got is a stop.
  EXPECT_TRUE(status([](const sim::SimStatus& s) { return s.velocity_left == 0 && s.velocity_right == 0; }));
}

TEST_F(SimConsoleTest, FailedReadsShowNoValueUntilTheBoardAnswersAgain) {
  for (int id : {IDC_USONIC_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) click(id);
  ASSERT_TRUE(refreshed(IDC_ENCODER_LEFT, 1, 0));
  ASSERT_TRUE(refreshed(IDC_USONIC_RANGE1, 2, 1));
  const std::string range = state().text(IDC_USONIC_RANGE1);

  EXPECT_EQ(sim_.execute("fault drvb AA bcc").rfind("error", 0), std::string::npos);
  EXPECT_TRUE(shows(IDC_EMG, "--"));
  EXPECT_EQ(state().text(IDC_ENCODER_LEFT), "0");
  sim_.unplug(Board::kDrvb);
  EXPECT_TRUE(shows(IDC_ENCODER_LEFT, "--"));
  EXPECT_GT(std::atof(range.c_str()), 0.0);
  sim_.unplug(Board::kPsb);
  EXPECT_TRUE(shows(IDC_USONIC_RANGE1, "--"));

  sim_.clear_faults();
  sim_.replug(Board::kDrvb);
  click(IDC_DRVB_DISCONNECT);
  click(IDC_DRVB_CONNECT);
  ASSERT_TRUE(dlg().m_bDrvbConnected) << state().text(IDC_LINK_DRVB_FAILURE);
  click(IDC_EMG_ENABLE);
  click(IDC_ENCODER_ENABLE);
  EXPECT_TRUE(shows(IDC_EMG, "Off"));
  EXPECT_TRUE(shows(IDC_ENCODER_LEFT, "0"));
}

// The drive board's adapter pulled while Front is held: when it comes back
// the jog goes on if it is still held, and a jog released meanwhile sends no
// velocity but the stop.
TEST_F(SimConsoleTest, AJogAcrossAPulledAdapter) {
  click(IDC_ROBOT_CTRL_ENABLE);
  for (const bool held : {true, false}) {
    SCOPED_TRACE(held ? "held" : "released meanwhile");
    click(IDC_WHEEL_ERR_RESET);  // an outage while moving sets the board's comm error
    dlg().OnJogPressed(IDC_FRONT);
    ASSERT_TRUE(status([](const sim::SimStatus& s) { return s.velocity_left == 200; }));
    sim_.unplug(Board::kDrvb);
    ASSERT_TRUE(shows(IDC_LINK_DRVB_STATE, "port lost, reopening"));
    if (!held) dlg().OnJogReleased();
    sim_.replug(Board::kDrvb);
    sim_.take_received(Board::kDrvb);
    ASSERT_TRUE(shows(IDC_LINK_DRVB_STATE, "answering"));
    std::this_thread::sleep_for(milliseconds(300));
    const sim::Bytes received = sim_.take_received(Board::kDrvb);
    const std::string text(received.begin(), received.end());
    EXPECT_EQ(text.find(held ? "BE;" : "BE200"), std::string::npos) << text;
    EXPECT_NE(text.find(held ? "BE200;200" : "BE;"), std::string::npos) << text;
    dlg().OnJogReleased();
    ASSERT_TRUE(status([](const sim::SimStatus& s) { return s.velocity_left == 0; }));
  }
}

TEST_F(SimConsoleTest, DisconnectAndShutdownReleaseTheBoardsPorts) {
  EXPECT_TRUE(sim_.client_attached(Board::kPsb));
  EXPECT_TRUE(sim_.client_attached(Board::kDrvb));
  click(IDC_PSB_DISCONNECT);
  EXPECT_FALSE(sim_.client_attached(Board::kPsb));
  EXPECT_TRUE(sim_.client_attached(Board::kDrvb));
  click(IDC_PSB_CONNECT);
  for (int id : {IDC_USONIC_ENABLE, IDC_POWER_DATA_ENABLE, IDC_ROBOT_CTRL_ENABLE, IDC_EMG_ENABLE,
                 IDC_ENCODER_ENABLE}) {
    click(id);
  }
  ASSERT_TRUE(workers_alive(6));
  dlg().OnDestroy();
  EXPECT_EQ(state().workers_alive, 0);
  EXPECT_FALSE(sim_.client_attached(Board::kPsb));
  EXPECT_FALSE(sim_.client_attached(Board::kDrvb));
}

}  // namespace
}  // namespace tavik::test
