// The drive panel: jogging, bumpers and emergency stop, encoders,
// parameters and wheel errors.
#include "console_fixture.h"

namespace tavik::test {
namespace {

test::ScriptedReply silence(const sim::Bytes&) { return {}; }

class DrivePanelTest : public ConsoleTest {
 protected:
  void SetUp() override {
    drvb_board();
    dlg().OnInitDialog();
    click(IDC_DRVB_CONNECT);
    ASSERT_TRUE(dlg().m_bDrvbConnected);
  }
  test::ScriptedPeer& drvb() { return *drvb_; }
  // Velocity commands the board received from the index `from` of its requests on.
  std::vector<std::string> velocities(std::size_t from = 0) {
    std::vector<std::string> out;
    auto all = commands(drvb());
    for (std::size_t i = from; i < all.size(); ++i) {
      if (all[i].rfind("BE", 0) == 0) out.push_back(all[i]);
    }
    return out;
  }
  bool velocity_seen(const std::string& command, std::size_t from, int times = 1) {
    return eventually([&] {
      auto v = velocities(from);
      return std::count(v.begin(), v.end(), command) >= times;
    });
  }
  bool held_none() {
    return !dlg().m_bFrontHeld && !dlg().m_bRearHeld && !dlg().m_bLeftHeld && !dlg().m_bRightHeld;
  }
};

TEST_F(DrivePanelTest, RobotControlSwitchesTheServoAndSendsStopWhileNothingIsHeld) {
  click(IDC_ROBOT_CTRL_ENABLE);
  EXPECT_FALSE(state().is_enabled(IDC_ROBOT_CTRL_ENABLE));
  for (int id : {IDC_ROBOT_CTRL_DISABLE, IDC_FRONT, IDC_REAR, IDC_LEFT, IDC_RIGHT}) {
    EXPECT_TRUE(state().is_enabled(id)) << id;
  }
  ASSERT_TRUE(velocity_seen("BE;", 0, 2));
  auto all = commands(drvb());
  EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 3),
            (std::vector<std::string>{"DB11", "CZ11", "BE;"}));

  click(IDC_ROBOT_CTRL_DISABLE);
  EXPECT_TRUE(state().is_enabled(IDC_ROBOT_CTRL_ENABLE));
  for (int id : {IDC_ROBOT_CTRL_DISABLE, IDC_FRONT, IDC_REAR, IDC_LEFT, IDC_RIGHT}) {
    EXPECT_FALSE(state().is_enabled(id)) << id;
  }
  ASSERT_TRUE(workers_alive(1));
  const auto after = commands(drvb());
  EXPECT_TRUE(std::find(after.begin() + 3, after.end(), "DB00") != after.end());
  std::this_thread::sleep_for(milliseconds(250));
  EXPECT_EQ(commands(drvb()).size(), after.size());  // no velocity after the worker ended
}

TEST_F(DrivePanelTest, HeldFrontDrivesEveryStepAndAnyReleaseStopsFromTheNextStep) {
  click(IDC_ROBOT_CTRL_ENABLE);
  ASSERT_TRUE(velocity_seen("BE;", 0));

  // Every way the operator can let go: a release anywhere (or the window
  // losing focus), the click of a jog button, a release over the dialog.
  struct Release {
    const char* what;
    std::function<void(CConsoleDlg&)> act;
  };
  const Release releases[] = {
      {"released anywhere", [](CConsoleDlg& d) { d.OnJogReleased(); }},
      {"jog button clicked", [](CConsoleDlg& d) { d.OnCommand(IDC_FRONT); }},
      {"released over the dialog", [](CConsoleDlg& d) { d.OnLButtonUp(); }},
  };
  for (const Release& release : releases) {
    SCOPED_TRACE(release.what);
    std::size_t mark = drvb().requests().size();
    dlg().OnJogPressed(IDC_FRONT);
    ASSERT_TRUE(velocity_seen("BE200;200", mark, 2));
    release.act(dlg());
    EXPECT_TRUE(held_none());
    mark = drvb().requests().size();
    ASSERT_TRUE(velocity_seen("BE;", mark, 2));
    // A step that had read the flags before the release may still go out.
    auto v = velocities(mark);
    const auto first_stop = std::find(v.begin(), v.end(), "BE;");
    EXPECT_LE(first_stop - v.begin(), 1);
    EXPECT_TRUE(std::all_of(first_stop, v.end(), [](const std::string& c) { return c == "BE;"; }));
  }
}

TEST_F(DrivePanelTest, KeysJogThroughTheLogicAndEscStopsTheJogAtOnce) {
  click(IDC_ROBOT_CTRL_ENABLE);
  ASSERT_TRUE(velocity_seen("BE;", 0));
  struct Case {
    const char* what;
    KeyEvent press;
    const char* sent;
    KeyEvent let_go;
  };
  const KeyEvent space_on_left{Key::kSpace, true, false, false, Focus::kJogButton, IDC_LEFT};
  const KeyEvent up{Key::kUp, true, false, false, Focus::kButton, IDC_PSB_CONNECT};
  KeyEvent space_let_go = space_on_left;
  space_let_go.press = false;
  KeyEvent up_let_go = up;
  up_let_go.press = false;
  const KeyEvent esc{Key::kEscape, true, false, false, Focus::kJogButton, IDC_LEFT};
  const Case cases[] = {
      {"Space on Left, let go", space_on_left, "BE-200;200", space_let_go},
      {"Up, let go", up, "BE200;200", up_let_go},
      {"Space on Left, Esc", space_on_left, "BE-200;200", esc},
      {"Up, Esc", up, "BE200;200", esc},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::size_t mark = drvb().requests().size();
    dlg().OnKey(c.press);
    ASSERT_TRUE(velocity_seen(c.sent, mark, 2));
    mark = drvb().requests().size();
    dlg().OnKey(c.let_go);
    EXPECT_TRUE(held_none());
    ASSERT_TRUE(velocity_seen("BE;", mark));
  }
}

TEST_F(DrivePanelTest, TheFirstHeldButtonInPriorityOrderWins) {
  // One step at a time, without the worker.
  dlg().m_bRobotCtrlRun = true;
  struct Case {
    bool front, rear, left, right;
    const char* sent;
  };
  const Case cases[] = {
      {true, true, true, true, "BE200;200"},     {false, true, true, true, "BE-200;-200"},
      {false, false, true, true, "BE-200;200"},  {false, false, false, true, "BE200;-200"},
      {false, false, false, false, "BE;"},       {true, false, false, true, "BE200;200"},
      {false, true, false, true, "BE-200;-200"},
  };
  for (const Case& c : cases) {
    drvb().clear_requests();
    dlg().m_bFrontHeld = c.front;
    dlg().m_bRearHeld = c.rear;
    dlg().m_bLeftHeld = c.left;
    dlg().m_bRightHeld = c.right;
    dlg().RobotCtrlStep();
    EXPECT_EQ(commands(drvb()), std::vector<std::string>{c.sent});
  }
  // Nothing is sent while jogging is off or the board is not connected.
  drvb().clear_requests();
  dlg().m_bRobotCtrlRun = false;
  dlg().RobotCtrlStep();
  dlg().m_bRobotCtrlRun = true;
  dlg().m_bDrvbConnected = false;
  dlg().RobotCtrlStep();
  EXPECT_TRUE(drvb().requests().empty());
  dlg().m_bDrvbConnected = true;
  dlg().m_bRobotCtrlRun = false;
}

TEST_F(DrivePanelTest, DisableDisconnectAndAPressWhileOffLeaveNothingHeld) {
  // A press on a disabled jog button holds nothing.
  dlg().OnJogPressed(IDC_FRONT);
  EXPECT_TRUE(held_none());

  click(IDC_ROBOT_CTRL_ENABLE);
  for (int id : {IDC_FRONT, IDC_REAR, IDC_LEFT, IDC_RIGHT}) dlg().OnJogPressed(id);
  EXPECT_FALSE(held_none());
  click(IDC_ROBOT_CTRL_DISABLE);
  EXPECT_TRUE(held_none());

  // Enable starts from standstill whatever was held before it.
  dlg().m_bLeftHeld = true;
  click(IDC_ROBOT_CTRL_ENABLE);
  EXPECT_TRUE(held_none());

  dlg().OnJogPressed(IDC_REAR);
  ASSERT_TRUE(velocity_seen("BE-200;-200", 0));
  click(IDC_DRVB_DISCONNECT);
  EXPECT_TRUE(held_none());
  EXPECT_EQ(state().workers_alive, 1);
}

TEST_F(DrivePanelTest, BumperEmergencyAndEncoderPollsShowTheBoardsValues) {
  testing::internal::CaptureStdout();
  click(IDC_EMG_ENABLE);
  click(IDC_ENCODER_ENABLE);
  for (int id : {IDC_EMG_DISABLE, IDC_ENCODER_DISABLE}) EXPECT_TRUE(state().is_enabled(id));
  for (int id : {IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) EXPECT_FALSE(state().is_enabled(id));
  ASSERT_TRUE(refreshed(IDC_EMG, 2, 0));
  ASSERT_TRUE(refreshed(IDC_ENCODER_RIGHT, 2, 0));
  auto s = state();
  EXPECT_EQ(s.text(IDC_BUMPER_LEFT), "Off");
  EXPECT_EQ(s.text(IDC_BUMPER_RIGHT), "Bump");
  EXPECT_EQ(s.text(IDC_EMG), "On");
  EXPECT_EQ(s.text(IDC_ENCODER_LEFT), "1234");
  EXPECT_EQ(s.text(IDC_ENCODER_RIGHT), "-56");

  // Failed reads show no value rather than a stale or made-up one.
  drvb().respond(silence);
  ASSERT_TRUE(window_.wait_for(
      [](const WindowState& st) { return st.text(IDC_EMG) == "--" && st.text(IDC_ENCODER_LEFT) == "--"; }));
  click(IDC_EMG_DISABLE);
  click(IDC_ENCODER_DISABLE);
  ASSERT_TRUE(workers_alive(1));
  s = state();
  EXPECT_EQ(s.text(IDC_BUMPER_LEFT), "--");
  EXPECT_EQ(s.text(IDC_BUMPER_RIGHT), "--");
  EXPECT_EQ(s.text(IDC_ENCODER_RIGHT), "--");
  const auto printed = captured_lines();
  ASSERT_GE(printed.size(), 3u);
  EXPECT_EQ(printed.front(), "drv ret: 0 ");
  EXPECT_EQ(printed.back(), "drv ret: -1 ");
  EXPECT_EQ(printed.size(), commands(drvb(), "AC0").size());
  for (int id : {IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) EXPECT_TRUE(state().is_enabled(id));
}

TEST_F(DrivePanelTest, BumperAndEmergencyBitsMapToTheirFields) {
  struct Case {
    char bumpers, emergency;
    const char *left, *right, *emg;
  };
  for (const Case& c : {Case{'0', '0', "Off", "Off", "Off"}, Case{'1', '0', "Bump", "Off", "Off"},
                        Case{'2', '1', "Off", "Bump", "On"}, Case{'3', '1', "Bump", "Bump", "On"}}) {
    drvb().queue({aa_reply(0, 0, c.bumpers, c.emergency), {}});
    dlg().EmgStep();
    const auto s = state();
    EXPECT_EQ(s.text(IDC_BUMPER_LEFT), c.left) << c.bumpers;
    EXPECT_EQ(s.text(IDC_BUMPER_RIGHT), c.right) << c.bumpers;
    EXPECT_EQ(s.text(IDC_EMG), c.emg) << c.emergency;
  }
}

TEST_F(DrivePanelTest, ParameterWriteTakesOnlyAWholeNonZeroInt) {
  struct Case {
    const char* text;
    int selection;
    std::vector<std::string> sent;  // empty: refused with the message
  };
  const Case cases[] = {
      {"500", 0, {"XB15500", "XB16500", "XD"}},
      {" 100 ", 1, {"XB30100", "XD"}},
      {"008", 2, {"XB068", "XD"}},
      {"+8", 2, {}},  // as the tool reads numbers
      {"abc", 0, {}},
      {"0", 0, {}},
      {"-0", 1, {}},
      {"", 0, {}},
      {"99999999999", 0, {}},
      {"2147483648", 0, {}},
      {"500abc", 0, {}},
      {"5 00", 0, {}},
      {"0x10", 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    drvb().clear_requests();
    window_.forget_calls();
    window_.select(IDC_PARAM_SELECT, c.selection);
    window_.type_write_param(c.text);
    testing::internal::CaptureStdout();
    click(IDC_PARAM_WRITE);
    const auto printed = captured_lines();
    EXPECT_EQ(dlg().m_strWriteParam, c.text);
    EXPECT_EQ(commands(drvb()), c.sent);
    if (c.sent.empty()) {
      EXPECT_EQ(state().messages, std::vector<std::string>{"입력 값이 틀렸습니다!"});
      EXPECT_TRUE(printed.empty());
    } else {
      EXPECT_TRUE(state().messages.empty());
      EXPECT_EQ(printed, std::vector<std::string>{"ret: 0 "});
    }
  }
  // The library's result is printed as it is: out of range for A/D Time, and
  // a negative Max Velocity; neither is sent.
  for (const auto& [selection, text] : {std::pair{2, "1001"}, std::pair{0, "-5"}}) {
    drvb().clear_requests();
    window_.select(IDC_PARAM_SELECT, selection);
    window_.type_write_param(text);
    testing::internal::CaptureStdout();
    click(IDC_PARAM_WRITE);
    EXPECT_EQ(captured_lines(), std::vector<std::string>{"ret: -1 "});
    EXPECT_TRUE(drvb().requests().empty());
  }
}

TEST_F(DrivePanelTest, EnterWritesFromTheWriteFieldAndDoesNothingElsewhere) {
  window_.select(IDC_PARAM_SELECT, 0);
  window_.type_write_param("500");
  struct Case {
    int focus;
    std::vector<std::string> sent;
  };
  const Case cases[] = {
      {IDC_WRITE_PARAM_VALUE, {"XB15500", "XB16500", "XD"}},
      {IDC_READ_PARAM_VALUE, {}},
      {IDC_PARAM_SELECT, {}},
      {IDC_PSB_PORT, {}},
      {IDC_BATTERY_VOLT, {}},
      {0, {}},  // no control of the window
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.focus);
    drvb().clear_requests();
    testing::internal::CaptureStdout();
    dlg().OnEnterKey(c.focus);
    const auto printed = captured_lines();
    EXPECT_EQ(commands(drvb()), c.sent);
    EXPECT_EQ(printed.size(), c.sent.empty() ? 0u : 1u);
    EXPECT_TRUE(dlg().m_bDrvbConnected);
  }
  EXPECT_TRUE(state().messages.empty());
}

TEST_F(DrivePanelTest, ParameterReadShowsTheValueWithItsUnit) {
  struct Case {
    int selection;
    const char* request;
    const char* shown;
  };
  for (const Case& c : {Case{0, "XL15", "120 mm/s"}, Case{1, "XL30", "120 ms"}, Case{2, "XL6", "120 ms"}}) {
    drvb().clear_requests();
    window_.select(IDC_PARAM_SELECT, c.selection);
    click(IDC_PARAM_READ);
    EXPECT_EQ(commands(drvb()), std::vector<std::string>{c.request});
    EXPECT_EQ(state().text(IDC_READ_PARAM_VALUE), c.shown);
  }
  // No selection, or no answer: no value.
  drvb().clear_requests();
  window_.select(IDC_PARAM_SELECT, -1);
  click(IDC_PARAM_READ);
  EXPECT_TRUE(drvb().requests().empty());
  EXPECT_EQ(state().text(IDC_READ_PARAM_VALUE), "--");
  window_.select(IDC_PARAM_SELECT, 0);
  click(IDC_PARAM_READ);
  EXPECT_EQ(state().text(IDC_READ_PARAM_VALUE), "120 mm/s");
  drvb().respond(silence);
  click(IDC_PARAM_READ);
  EXPECT_EQ(state().text(IDC_READ_PARAM_VALUE), "--");
}

TEST_F(DrivePanelTest, WheelErrorsShowUnsignedBytesAndResetSendsTheClear) {
  click(IDC_WHEEL_ERR_READ);
  EXPECT_EQ(state().text(IDC_WHEEL_ERR_LEFT), "0x0");
  EXPECT_EQ(state().text(IDC_WHEEL_ERR_RIGHT), "0x81");
  drvb().queue({aa_reply(0xFF, 0x7F, '0', '0'), {}});
  click(IDC_WHEEL_ERR_READ);
  EXPECT_EQ(state().text(IDC_WHEEL_ERR_LEFT), "0xff");
  EXPECT_EQ(state().text(IDC_WHEEL_ERR_RIGHT), "0x7f");
  drvb().clear_requests();
  click(IDC_WHEEL_ERR_RESET);
  EXPECT_EQ(commands(drvb()), std::vector<std::string>{"CG"});
  drvb().respond(silence);
  click(IDC_WHEEL_ERR_READ);
  EXPECT_EQ(state().text(IDC_WHEEL_ERR_LEFT), "--");
  EXPECT_EQ(state().text(IDC_WHEEL_ERR_RIGHT), "--");
}

TEST_F(DrivePanelTest, ButtonsWithoutAConnectionCheckStillCallTheLibrary) {
  click(IDC_DRVB_DISCONNECT);
  drvb().clear_requests();
  window_.type_write_param("500");
  testing::internal::CaptureStdout();
  for (int id :
       {IDC_ROBOT_CTRL_DISABLE, IDC_PARAM_READ, IDC_PARAM_WRITE, IDC_WHEEL_ERR_READ, IDC_WHEEL_ERR_RESET}) {
    click(id);
  }
  EXPECT_EQ(captured_lines(), std::vector<std::string>{"ret: -1 "});
  EXPECT_TRUE(drvb().requests().empty());
  EXPECT_TRUE(state().messages.empty());
  EXPECT_EQ(state().text(IDC_READ_PARAM_VALUE), "--");
  EXPECT_EQ(state().text(IDC_WHEEL_ERR_LEFT), "--");
}

}  // namespace
}  // namespace tavik::test
