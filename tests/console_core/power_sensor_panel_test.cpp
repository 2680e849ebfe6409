// The power & sensor panel: ultrasonic and power data polling, the maximum
// distance and the device power requests.
#include "console_fixture.h"

namespace tavik::test {
namespace {

std::vector<std::string> texts(const WindowState& s, std::initializer_list<int> ids) {
  std::vector<std::string> out;
  for (int id : ids) out.push_back(s.text(id));
  return out;
}

const std::initializer_list<int> kRanges = {1021, 1022, 1023, 1024, 1025, 1026, 1027};
const std::initializer_list<int> kPowerFields = {IDC_BATTERY_VOLT,  IDC_CONSUM_CUR, IDC_DRIVE_STATE,
                                                 IDC_SENSORS_STATE, IDC_LRF_STATE,  IDC_SBC_STATE,
                                                 IDC_SG_STATE,      IDC_LCD_STATE,  IDC_SERVO_STATE};

test::ScriptedReply silence(const sim::Bytes&) { return {}; }

TEST_F(ConsoleTest, UltrasonicPollingShowsTheRangesAndPrintsEachResult) {
  auto& psb = psb_board();
  dlg().OnInitDialog();
  click(IDC_PSB_CONNECT);
  testing::internal::CaptureStdout();
  click(IDC_USONIC_ENABLE);
  EXPECT_FALSE(state().is_enabled(IDC_USONIC_ENABLE));
  EXPECT_TRUE(state().is_enabled(IDC_USONIC_DISABLE));
  EXPECT_TRUE(refreshed(1027, 2, 1));
  EXPECT_EQ(texts(state(), kRanges), (std::vector<std::string>{"0.200000", "0.300000", "0.000000", "0.000000",
                                                               "0.000000", "0.000000", "0.150000"}));

  // A failed read prints its result and shows no ranges: the last good ones
  // would look current to someone jogging toward a wall.
  psb.respond(silence);
  const int before = state().writes(1021);
  EXPECT_TRUE(refreshed(1021, 2, before));
  click(IDC_USONIC_DISABLE);
  EXPECT_TRUE(workers_alive(1));
  const auto printed = captured_lines();
  for (const auto& text : texts(state(), kRanges)) EXPECT_EQ(text, "--");
  ASSERT_GE(printed.size(), 3u);
  EXPECT_EQ(printed.front(), "ret: 0 ");
  EXPECT_EQ(printed.back(), "ret: -1 ");
  for (const auto& line : printed) EXPECT_TRUE(line == "ret: 0 " || line == "ret: -1 ") << line;
  EXPECT_EQ(printed.size(), commands(psb, "Sar").size());

  // The bars keep the position InitUsonicBars gave them.
  for (const auto& call : state().calls) EXPECT_FALSE(call.op == "pos" && call.a != 0);
  EXPECT_TRUE(state().is_enabled(IDC_USONIC_ENABLE));
  EXPECT_FALSE(state().is_enabled(IDC_USONIC_DISABLE));
}

TEST_F(ConsoleTest, UltrasonicFieldsShowNoValueUntilAReadSucceeds) {
  psb_board(silence);
  dlg().OnInitDialog();
  for (const auto& text : texts(state(), kRanges)) EXPECT_EQ(text, "0");
  click(IDC_PSB_CONNECT);
  testing::internal::CaptureStdout();
  click(IDC_USONIC_ENABLE);
  EXPECT_TRUE(refreshed(1021, 1, 1));
  click(IDC_USONIC_DISABLE);
  EXPECT_TRUE(workers_alive(1));
  EXPECT_EQ(captured_lines().front(), "ret: -1 ");
  for (const auto& text : texts(state(), kRanges)) EXPECT_EQ(text, "--");
}

TEST_F(ConsoleTest, PowerDataPollingShowsNoValueFromAFailedReadUntilAGoodOne) {
  auto& psb = psb_board();
  dlg().OnInitDialog();
  click(IDC_PSB_CONNECT);
  click(IDC_POWER_DATA_ENABLE);
  EXPECT_FALSE(state().is_enabled(IDC_POWER_DATA_ENABLE));
  EXPECT_TRUE(state().is_enabled(IDC_POWER_DATA_DISABLE));
  ASSERT_TRUE(refreshed(IDC_LCD_STATE, 1, 0));
  // Field 0 is the battery, field 3 the current; fields 6 to 8 carry the device bits.
  const std::vector<std::string> good{"1200", "500", "On", "Off", "Off", "On", "On", "Off", "On"};
  EXPECT_EQ(texts(state(), kPowerFields), good);

  // The failed read's cleared record would read as a flat battery and every
  // device off: all nine fields say there is no value instead.
  psb.respond(silence);
  const std::vector<std::string> none(9, "--");
  EXPECT_TRUE(window_.wait_for([&](const WindowState& s) { return texts(s, kPowerFields) == none; }));
  for (int id : kPowerFields) EXPECT_TRUE(state().is_stale(id)) << id;

  psb.respond(psb_reply);
  EXPECT_TRUE(window_.wait_for([&](const WindowState& s) { return texts(s, kPowerFields) == good; }));
  for (int id : kPowerFields) EXPECT_FALSE(state().is_stale(id)) << id;
  click(IDC_POWER_DATA_DISABLE);
  EXPECT_TRUE(workers_alive(1));
  EXPECT_TRUE(state().is_enabled(IDC_POWER_DATA_ENABLE));
}

TEST_F(ConsoleTest, SetSendsTheSelectedMaximumDistance) {
  auto& psb = psb_board();
  dlg().OnInitDialog();
  click(IDC_PSB_CONNECT);
  window_.forget_calls();
  for (int index : {3, 0, 8, -1}) {
    window_.select(IDC_USONIC_MAX_DIST, index);
    click(IDC_USONIC_SET);
  }
  EXPECT_EQ(commands(psb, "SDU"), (std::vector<std::string>{"SDU4", "SDU1", "SDU9", "SDU0"}));
  EXPECT_TRUE(state().messages.empty());
}

TEST_F(ConsoleTest, DevicePowerRequestsWaitForTheBoardAndGoOutInTheirOrder) {
  auto& psb = psb_board();
  dlg().OnInitDialog();
  // Clicked in reverse order while the board is not connected: all stay pending.
  for (int id : {1044, 1039, 1076, 1075, 1043, 1038, 1074, 1073, 1041, 1036, 1072, 1071, 1040, 1035})
    click(id);
  std::this_thread::sleep_for(milliseconds(150));  // at least one pass of the worker
  EXPECT_TRUE(dlg().m_bReqPower[PSB_DEVICE_DRIVE][1] && dlg().m_bReqPower[PSB_DEVICE_SERVO][0]);
  EXPECT_TRUE(psb.requests().empty());

  click(IDC_PSB_CONNECT);
  ASSERT_TRUE(psb.wait_for_requests(14, std::chrono::seconds(3)));
  EXPECT_EQ(commands(psb),
            (std::vector<std::string>{"PA11", "PA10", "PA21", "PA20", "PA31", "PA30", "PA41", "PA40", "PA51",
                                      "PA50", "PB21", "PB20", "PB31", "PB30"}));
  EXPECT_TRUE(eventually([&] { return !dlg().m_bReqPower[PSB_DEVICE_SERVO][0]; }));
  for (auto* flag : {&dlg().m_bReqPower[PSB_DEVICE_DRIVE][1], &dlg().m_bReqPower[PSB_DEVICE_DRIVE][0],
                     &dlg().m_bReqPower[PSB_DEVICE_SENSORS][1], &dlg().m_bReqPower[PSB_DEVICE_LCD][0]}) {
    EXPECT_FALSE(*flag);
  }

  // One click, one request.
  psb.clear_requests();
  click(IDC_SENSORS_ON);
  ASSERT_TRUE(psb.wait_for_requests(1, std::chrono::seconds(3)));
  std::this_thread::sleep_for(milliseconds(250));
  EXPECT_EQ(commands(psb), std::vector<std::string>{"PA21"});
  EXPECT_FALSE(dlg().m_bReqPower[PSB_DEVICE_SENSORS][1]);
}

TEST_F(ConsoleTest, DevicePowerRequestsAreServedAgainAfterAReconnect) {
  auto& psb = psb_board();
  dlg().OnInitDialog();
  click(IDC_PSB_CONNECT);
  click(IDC_SG_ON);
  ASSERT_TRUE(psb.wait_for_requests(1, std::chrono::seconds(3)));
  click(IDC_PSB_DISCONNECT);
  EXPECT_EQ(state().workers_alive, 0);

  click(IDC_DRIVE_ON);
  click(IDC_DRIVE_OFF);  // both within one pause
  click(IDC_PSB_CONNECT);
  ASSERT_TRUE(psb.wait_for_requests(3, std::chrono::seconds(3)));
  EXPECT_EQ(commands(psb), (std::vector<std::string>{"PA51", "PA11", "PA10"}));
  EXPECT_TRUE(eventually(
      [&] { return !dlg().m_bReqPower[PSB_DEVICE_DRIVE][1] && !dlg().m_bReqPower[PSB_DEVICE_DRIVE][0]; }));
  EXPECT_EQ(state().workers_alive, 1);
}

}  // namespace
}  // namespace tavik::test
