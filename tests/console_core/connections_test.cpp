// Connecting and disconnecting the boards, and starting and stopping workers.
#include "console_fixture.h"
#include "tavik/zarn_rs232.h"

namespace tavik::test {
namespace {

struct BoardCase {
  const char* board;
  int list, connect, disconnect;
  std::atomic<bool> CConsoleDlg::*connected;
  const char* failure;
};

const BoardCase kBoards[] = {
    {"PSB", IDC_PSB_PORT, IDC_PSB_CONNECT, IDC_PSB_DISCONNECT, &CConsoleDlg::m_bPsbConnected,
     "Power&Sensor Board Connect Fail!!!"},
    {"DRVB", IDC_DRVB_PORT, IDC_DRVB_CONNECT, IDC_DRVB_DISCONNECT, &CConsoleDlg::m_bDrvbConnected,
     "Drive Board RS232 Connect Fail!!!"},
};

TEST_F(ConsoleTest, ConnectOpensTheSelectedPort) {
  dlg().OnInitDialog();
  struct Case {
    int selection;
    const char* link;
  };
  // No selection is index -1, so the port asked for is COM0.
  for (const Case& c : {Case{6, "COM7"}, Case{19, "COM20"}, Case{-1, "COM0"}, Case{7, "COM8"}}) {
    for (const BoardCase& b : kBoards) {
      SCOPED_TRACE(std::string(b.board) + " " + c.link);
      test::ScriptedPeer peer;
      peer.publish(link_dir_, c.link);
      window_.select(b.list, c.selection);
      click(b.connect);
      EXPECT_TRUE(dlg().*b.connected);
      EXPECT_FALSE(state().is_enabled(b.connect));
      EXPECT_TRUE(state().is_enabled(b.disconnect));
      click(b.disconnect);
      EXPECT_FALSE(dlg().*b.connected);
      EXPECT_TRUE(state().is_enabled(b.connect));
      EXPECT_FALSE(state().is_enabled(b.disconnect));
    }
  }
  EXPECT_TRUE(state().messages.empty());
}

// What the list shows is what Connect opens: an entry, a port the system
// reports, a name typed as it is (a label standing for its port), and the
// port that opened is the one selected at the next start.
TEST_F(ConsoleTest, ConnectOpensThePortTheListShowsAndRemembersIt) {
  window_.set_system_ports({{"COM3", "Communications Port (COM3)"}, {"COM23", "USB Serial Port (COM23)"}});
  dlg().OnInitDialog();
  const std::vector<std::string> list = state().lists.at(IDC_PSB_PORT);
  ASSERT_EQ(list.size(), 21u);
  EXPECT_EQ(list[2], "Communications Port (COM3)");
  EXPECT_EQ(list[20], "USB Serial Port (COM23)");
  struct Case {
    int selection;  // -1: `typed` is typed
    std::string typed, opened;
  };
  const std::string path = link_dir_ + "/COM31";
  const Case cases[] = {
      {20, "", "COM23"},      {-1, " COM23 ", "COM23"}, {-1, "USB Serial Port (COM23)", "COM23"},
      {-1, "COM31", "COM31"}, {-1, path, path},
  };
  for (const BoardCase& b : kBoards) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(b.board) + " " + c.typed + " " + c.opened);
      ScriptedPeer peer;
      peer.publish(link_dir_, c.opened == path ? "COM31" : c.opened);
      if (c.selection >= 0) {
        window_.select(b.list, c.selection);
      } else {
        window_.type(b.list, c.typed);
      }
      click(b.connect);
      ASSERT_TRUE(dlg().*b.connected);
      EXPECT_EQ(state().text(b.list == IDC_PSB_PORT ? IDC_LINK_PSB_PORT : IDC_LINK_DRVB_PORT), c.opened);
      click(b.disconnect);
    }
  }
  EXPECT_TRUE(state().messages.empty());
  // Not there: the link panel and the message name the port and why.
  window_.type(IDC_PSB_PORT, "COM29");
  click(IDC_PSB_CONNECT);
  EXPECT_EQ(state().messages,
            std::vector<std::string>{"Power&Sensor Board Connect Fail!!!\n\nCOM29: missing"});
  EXPECT_EQ(state().text(IDC_LINK_PSB_PORT), "COM29");

  RecordingWindow next;  // the next start, of the same user
  for (const char* key : {"PsbPort", "DrvbPort"}) next.RememberPort(key, window_.RememberedPort(key));
  CConsoleDlg(next).OnInitDialog();
  EXPECT_EQ(next.snapshot().lists.at(IDC_PSB_PORT).back(), path);  // the last one opened, unlisted before
  EXPECT_EQ(next.GetListText(IDC_PSB_PORT), path);
  EXPECT_EQ(next.GetListText(IDC_DRVB_PORT), path);
}

TEST_F(ConsoleTest, FailedConnectShowsTheBoardsMessageAndMayBeRetried) {
  dlg().OnInitDialog();
  for (const BoardCase& b : kBoards) {
    SCOPED_TRACE(b.board);
    window_.forget_calls();
    window_.select(b.list, -1);  // COM0: no such port
    click(b.connect);
    EXPECT_EQ(state().messages, std::vector<std::string>{std::string(b.failure) + "\n\nCOM0: missing"});
    EXPECT_FALSE(dlg().*b.connected);
    for (const auto& call : state().calls) EXPECT_NE(call.op, "enable");  // buttons as they were

    test::ScriptedPeer peer;
    peer.publish(link_dir_, "COM3");
    window_.select(b.list, 2);
    click(b.connect);
    EXPECT_TRUE(dlg().*b.connected);
    EXPECT_EQ(state().messages.size(), 1u);
    click(b.disconnect);
  }
}

TEST_F(ConsoleTest, BothBoardsOnOnePortFailTheSecondConnect) {
  psb_board();
  dlg().OnInitDialog();
  click(IDC_PSB_CONNECT);
  window_.select(IDC_DRVB_PORT, 6);  // COM7 as well
  click(IDC_DRVB_CONNECT);
  EXPECT_EQ(state().messages, std::vector<std::string>{"Drive Board RS232 Connect Fail!!!\n\nCOM7: busy"});
  EXPECT_FALSE(dlg().m_bDrvbConnected);
  EXPECT_TRUE(dlg().m_bPsbConnected);
  click(IDC_PSB_DISCONNECT);

  window_.forget_calls();
  click(IDC_DRVB_CONNECT);
  ASSERT_TRUE(dlg().m_bDrvbConnected);
  click(IDC_PSB_CONNECT);
  EXPECT_EQ(state().messages, std::vector<std::string>{"Power&Sensor Board Connect Fail!!!\n\nCOM7: busy"});
  EXPECT_FALSE(dlg().m_bPsbConnected);
}

TEST_F(ConsoleTest, DisconnectStopsTheBoardsWorkersBeforeClosingItsPort) {
  auto& psb = psb_board();
  auto& drvb = drvb_board();
  ASSERT_NO_FATAL_FAILURE(start_everything());
  ASSERT_TRUE(eventually([&] { return !commands(psb, "Sar").empty() && !commands(drvb, "AC0").empty(); }));

  window_.forget_calls();
  click(IDC_PSB_DISCONNECT);
  EXPECT_FALSE(dlg().m_bPsbConnected || dlg().m_bUsonicRun || dlg().m_bPowerDataRun || dlg().m_bPowerCtrlRun);
  EXPECT_EQ(state().workers_alive, 3);  // the three PSB workers are joined, the DRVB ones go on
  auto calls = handler_calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0].op + std::to_string(calls[0].id) + std::to_string(calls[0].a), "enable10001");
  EXPECT_EQ(calls[1].op + std::to_string(calls[1].id) + std::to_string(calls[1].a), "enable10010");
  // The panels' buttons stay as they were: Disable puts them back.
  EXPECT_FALSE(state().is_enabled(IDC_USONIC_ENABLE));
  EXPECT_TRUE(state().is_enabled(IDC_USONIC_DISABLE));

  dlg().m_bFrontHeld = true;
  click(IDC_DRVB_DISCONNECT);
  EXPECT_FALSE(dlg().m_bDrvbConnected || dlg().m_bEncoderRun || dlg().m_bEmgRun || dlg().m_bRobotCtrlRun);
  EXPECT_FALSE(dlg().m_bFrontHeld);
  EXPECT_EQ(state().workers_alive, 0);
  EXPECT_TRUE(state().is_enabled(IDC_DRVB_CONNECT));
  EXPECT_FALSE(state().is_enabled(IDC_DRVB_DISCONNECT));
  EXPECT_FALSE(state().is_enabled(IDC_ENCODER_ENABLE));

  // Both ports are closed: another connection can take them.
  EXPECT_EQ(zarn_rs232_psb_create("COM7", 50), 0);
  EXPECT_EQ(zarn_rs232_drvb_create("COM8", 50), 0);
  zarn_rs232_drvb_destroy();
  zarn_rs232_psb_destroy();
  const auto psb_seen = commands(psb, "Sar").size();
  std::this_thread::sleep_for(milliseconds(250));
  EXPECT_EQ(commands(psb, "Sar").size(), psb_seen);
}

struct EnableCase {
  int enable, disable;
  std::atomic<bool> CConsoleDlg::*run;
  const char* start_failure;
};

const EnableCase kEnables[] = {
    {IDC_USONIC_ENABLE, IDC_USONIC_DISABLE, &CConsoleDlg::m_bUsonicRun, "create fail : PSM Thread"},
    {IDC_POWER_DATA_ENABLE, IDC_POWER_DATA_DISABLE, &CConsoleDlg::m_bPowerDataRun,
     "create fail : PSM Power Data Thread"},
    {IDC_ROBOT_CTRL_ENABLE, IDC_ROBOT_CTRL_DISABLE, &CConsoleDlg::m_bRobotCtrlRun,
     "create fail : DRVM EMG Data Thread"},
    {IDC_EMG_ENABLE, IDC_EMG_DISABLE, &CConsoleDlg::m_bEmgRun, "create fail : DRVM EMG Data Thread"},
    {IDC_ENCODER_ENABLE, IDC_ENCODER_DISABLE, &CConsoleDlg::m_bEncoderRun,
     "create fail : DRVM EMG Data Thread"},
};

TEST_F(ConsoleTest, EnableWithoutAConnectionOnlyShowsAMessage) {
  dlg().OnInitDialog();
  for (const EnableCase& c : kEnables) {
    SCOPED_TRACE(c.enable);
    window_.forget_calls();
    click(c.enable);
    EXPECT_EQ(state().messages, std::vector<std::string>{"Serial Not Connect!!!"});
    EXPECT_EQ(handler_calls().size(), 1u);  // the message, no button change, no thread
    EXPECT_FALSE(dlg().*c.run);
  }
  window_.forget_calls();
  click(IDC_USONIC_SET);
  EXPECT_EQ(state().messages, std::vector<std::string>{"Serial Not Connect!!!"});
}

TEST_F(ConsoleTest, AWorkerThatCannotStartLeavesItsPanelOnUntilDisable) {
  psb_board();
  drvb_board();
  dlg().OnInitDialog();
  click(IDC_PSB_CONNECT);
  click(IDC_DRVB_CONNECT);
  for (const EnableCase& c : kEnables) {
    SCOPED_TRACE(c.enable);
    window_.forget_calls();
    window_.fail_starts(1);
    click(c.enable);
    EXPECT_EQ(state().messages, std::vector<std::string>{c.start_failure});
    EXPECT_TRUE(dlg().*c.run);
    EXPECT_FALSE(state().is_enabled(c.enable));
    EXPECT_TRUE(state().is_enabled(c.disable));
    click(c.disable);
    EXPECT_FALSE(dlg().*c.run);
    EXPECT_TRUE(state().is_enabled(c.enable));
    EXPECT_FALSE(state().is_enabled(c.disable));
    // The next Enable starts it.
    click(c.enable);
    EXPECT_TRUE(workers_alive(2));
    click(c.disable);
    EXPECT_TRUE(workers_alive(1));
  }
}

TEST_F(ConsoleTest, EnableRightAfterDisableLeavesOneWorkerPerFlag) {
  psb_board();
  drvb_board();
  dlg().OnInitDialog();
  click(IDC_PSB_CONNECT);
  click(IDC_DRVB_CONNECT);
  for (const EnableCase& c : kEnables) {
    SCOPED_TRACE(c.enable);
    click(c.enable);
    ASSERT_TRUE(workers_alive(2));
    for (int i = 0; i < 4; ++i) {
      click(c.disable);
      click(c.enable);  // within the old worker's last period
    }
    click(c.enable);  // a second Enable keeps the running worker
    EXPECT_TRUE(workers_alive(2));
    click(c.disable);
    // Stops within one step and one pause.
    EXPECT_TRUE(
        window_.wait_for([](const WindowState& s) { return s.workers_alive == 1; }, milliseconds(1500)));
  }
  EXPECT_EQ(state().most_workers_alive, 2);
}

}  // namespace
}  // namespace tavik::test
