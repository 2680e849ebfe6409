// Start-up and shutdown of the console's logic.
#include <set>

#include "console_fixture.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik::test {
namespace {

std::vector<std::atomic<bool>*> all_flags(CConsoleDlg& d) {
  std::vector<std::atomic<bool>*> flags;
  for (const PowerButton& button : kPowerButtons) flags.push_back(&d.PowerRequest(button));
  for (std::atomic<bool>* flag : {&d.m_bPowerCtrlRun, &d.m_bUsonicRun, &d.m_bPowerDataRun, &d.m_bPsbConnected,
                                  &d.m_bDrvbConnected, &d.m_bEmgRun, &d.m_bRobotCtrlRun, &d.m_bEncoderRun,
                                  &d.m_bFrontHeld, &d.m_bRearHeld, &d.m_bLeftHeld, &d.m_bRightHeld}) {
    flags.push_back(flag);
  }
  return flags;
}

// Whether a library can open the port now, that is whether nobody holds it.
bool port_is_free(const char* name) {
  if (zarn_rs232_psb_create(name, 50) != 0) return false;
  zarn_rs232_psb_destroy();
  return true;
}

TEST_F(ConsoleTest, StartUpFillsTheListsAndSetsTheInitialState) {
  for (auto* flag : all_flags(dlg())) *flag = true;  // whatever the constructor left
  dlg().OnInitDialog();
  ASSERT_TRUE(workers_alive(1));
  const WindowState s = state();

  std::vector<std::string> ports;
  for (int n = 1; n <= 20; ++n) ports.push_back("COM" + std::to_string(n));
  EXPECT_EQ(s.lists.at(IDC_PSB_PORT), ports);
  EXPECT_EQ(s.lists.at(IDC_DRVB_PORT), ports);
  EXPECT_EQ(s.selection(IDC_PSB_PORT), 6);
  EXPECT_EQ(s.selection(IDC_DRVB_PORT), 7);
  EXPECT_EQ(s.lists.at(IDC_USONIC_MAX_DIST),
            (std::vector<std::string>{"150 cm", "200 cm", "250 cm", "300 cm", "350 cm", "400 cm", "450 cm",
                                      "500 cm", "550 cm"}));
  EXPECT_EQ(s.selection(IDC_USONIC_MAX_DIST), 0);
  EXPECT_EQ(s.lists.at(IDC_PARAM_SELECT),
            (std::vector<std::string>{"Max Velocity", "Drive Comm. Err Time", "A/D Time"}));
  EXPECT_EQ(s.selection(IDC_PARAM_SELECT), 0);

  // What the operator can click first: each board's Connect and the pollers'
  // Enable; not what needs a connection or a running poller. Every other
  // control is as the template has it (enabled).
  const std::set<int> disabled = {IDC_PSB_DISCONNECT,
                                  IDC_DRVB_DISCONNECT,
                                  IDC_USONIC_DISABLE,
                                  IDC_POWER_DATA_DISABLE,
                                  IDC_ROBOT_CTRL_DISABLE,
                                  IDC_EMG_DISABLE,
                                  IDC_ENCODER_DISABLE,
                                  IDC_FRONT,
                                  IDC_REAR,
                                  IDC_LEFT,
                                  IDC_RIGHT};
  for (int id = 1000; id < 1200; ++id) EXPECT_EQ(s.is_enabled(id), !disabled.contains(id)) << id;
  for (int id : {IDC_PSB_CONNECT, IDC_DRVB_CONNECT, IDC_USONIC_ENABLE, IDC_POWER_DATA_ENABLE,
                 IDC_ROBOT_CTRL_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) {
    EXPECT_TRUE(s.is_enabled(id)) << id;
  }

  for (int id = IDC_USONIC_BAR1; id <= IDC_USONIC_BAR7; ++id) {
    EXPECT_EQ(s.ranges.at(id), std::make_pair(0, 150)) << id;
    EXPECT_EQ(s.positions.at(id), 0) << id;
  }
  for (int id = IDC_USONIC_RANGE1; id <= IDC_USONIC_RANGE7; ++id) EXPECT_EQ(s.text(id), "0") << id;

  for (auto* flag : all_flags(dlg())) EXPECT_EQ(*flag, flag == &dlg().m_bPowerCtrlRun);
  EXPECT_EQ(s.starts, 1);  // the device-power worker
  EXPECT_TRUE(s.messages.empty());
}

TEST_F(ConsoleTest, StartUpGoesOnWhenTheDevicePowerWorkerCannotStart) {
  window_.fail_starts(1);
  dlg().OnInitDialog();
  EXPECT_EQ(state().messages, std::vector<std::string>{"create fail : PSM Power Data Thread"});
  EXPECT_EQ(state().workers_alive, 0);
  EXPECT_EQ(state().lists.at(IDC_PARAM_SELECT).size(), 3u);
}

TEST_F(ConsoleTest, ShutdownStopsEveryWorkerAndClosesBothPorts) {
  auto& psb = psb_board();
  auto& drvb = drvb_board();
  ASSERT_NO_FATAL_FAILURE(start_everything());
  dlg().OnDestroy();

  // Joined before OnDestroy returned, not merely told to stop.
  EXPECT_EQ(state().workers_alive, 0);
  for (auto* flag : all_flags(dlg())) {
    if (flag != &dlg().m_bFrontHeld && flag != &dlg().m_bRearHeld && flag != &dlg().m_bLeftHeld &&
        flag != &dlg().m_bRightHeld) {
      EXPECT_FALSE(*flag);
    }
  }
  EXPECT_TRUE(port_is_free("COM7"));
  EXPECT_TRUE(port_is_free("COM8"));

  // Nothing reaches the boards any more.
  const auto psb_seen = psb.requests().size();
  const auto drvb_seen = drvb.requests().size();
  std::this_thread::sleep_for(milliseconds(250));
  EXPECT_EQ(psb.requests().size(), psb_seen);
  EXPECT_EQ(drvb.requests().size(), drvb_seen);
  EXPECT_TRUE(state().messages.empty());
}

TEST_F(ConsoleTest, ShutdownWithoutAnyBoardEverConnected) {
  dlg().OnInitDialog();
  ASSERT_TRUE(workers_alive(1));
  dlg().OnDestroy();
  EXPECT_EQ(state().workers_alive, 0);
  EXPECT_FALSE(dlg().m_bPowerCtrlRun);
  EXPECT_TRUE(state().messages.empty());
}

TEST_F(ConsoleTest, DestroyingTheLogicWithoutOnDestroyJoinsItsWorkers) {
  psb_board();
  dlg().OnInitDialog();
  click(IDC_PSB_CONNECT);
  click(IDC_USONIC_ENABLE);
  ASSERT_TRUE(workers_alive(2));
  dlg_.reset();
  EXPECT_EQ(state().workers_alive, 0);
  EXPECT_TRUE(port_is_free("COM7"));
}

TEST_F(ConsoleTest, ClicksReachTheirHandlers) {
  EXPECT_FALSE(dlg().OnCommand(IDC_BATTERY_VOLT));  // a read-out, no click handler
  EXPECT_FALSE(dlg().OnCommand(IDOK));
  click(IDC_LCD_ON);
  EXPECT_TRUE(dlg().m_bReqPower[PSB_DEVICE_LCD][1]);
}

}  // namespace
}  // namespace tavik::test
