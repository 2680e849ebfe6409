// What the console tells the operator about the lines themselves: the link
// panel, and read-outs drawn stale when they are not current.
#include <cstdlib>

#include "console/core/link_monitor.h"
#include "sim_console_fixture.h"
#include "tavik/rs232_error.h"

namespace tavik::test {
namespace {

using console::LinkMonitor;
using std::chrono::microseconds;

// How each call's result and the library's reason move the state.
TEST(LinkMonitor, FollowsTheLibrarysReasons) {
  struct Case {
    const char* name;
    int result;
    int error;
    LinkMonitor::State expected;
    const char* text;
  };
  using S = LinkMonitor::State;
  const Case cases[] = {
      {"answered", 0, TAVIK_RS232_OK, S::kAnswering, "answering"},
      {"waited for the time-out", -1, TAVIK_RS232_NO_REPLY, S::kNoReply, "no reply for 3 s"},
      {"a bad check byte", -1, TAVIK_RS232_BAD_CHECK, S::kBadReplies, "bad replies for 3 s"},
      {"refused", -1, TAVIK_RS232_REFUSED, S::kBadReplies, "bad replies for 3 s"},
      {"device lost", -1, TAVIK_RS232_DEVICE_LOST, S::kPortLost, "port lost, reopening"},
      {"an argument refused without sending", -1, TAVIK_RS232_BAD_ARGUMENT, S::kIdle, "connected, idle"},
  };
  const auto t0 = LinkMonitor::Clock::now();
  const auto t3 = t0 + std::chrono::milliseconds(3500);
  for (const Case& c : cases) {
    LinkMonitor link;
    link.connected("COM8", t0);
    EXPECT_EQ(console::state_text(link.snapshot(t0)), "connected, idle") << c.name;
    link.record(c.result, microseconds(3000), c.error, c.result == 0 ? "" : c.name, t3);
    const auto s = link.snapshot(t3);
    EXPECT_EQ(s.state, c.expected) << c.name;
    EXPECT_EQ(console::state_text(s), c.text) << c.name;
    EXPECT_EQ(console::failure_text(s), c.result == 0 ? "--" : c.name) << c.name;
    EXPECT_EQ(s.failures, c.result == 0 ? 0u : 1u) << c.name;
  }
  // Answering again after a loss counts one reopening, also when the new
  // connection's first call went unanswered.
  LinkMonitor link;
  link.connected("COM8", t0);
  for (int error : {TAVIK_RS232_DEVICE_LOST, TAVIK_RS232_DEVICE_LOST, TAVIK_RS232_OK, TAVIK_RS232_DEVICE_LOST,
                    TAVIK_RS232_NO_REPLY, TAVIK_RS232_OK, TAVIK_RS232_OK}) {
    link.record(error == TAVIK_RS232_OK ? 0 : -1, microseconds(10), error, "device lost", t0);
  }
  EXPECT_EQ(console::reopened_text(link.snapshot()), "2");
  EXPECT_EQ(console::counts_text(link.snapshot()), "7 exchanges, 4 failed");
  link.disconnected();
  link.record(0, microseconds(10), 0, "", t0);  // a button without a connection counts nothing
  EXPECT_EQ(console::state_text(link.snapshot()), "not connected");
  link.connect_failed("COM3", "busy");
  EXPECT_EQ(console::state_text(link.snapshot()), "connect failed");
  EXPECT_EQ(link.snapshot().port, "COM3");
  EXPECT_EQ(console::failure_text(link.snapshot()), "busy");

  EXPECT_EQ(console::reason_text(TAVIK_RS232_REFUSED, "refused", '1'), "refused (1)");
  EXPECT_EQ(console::reason_text(TAVIK_RS232_REFUSED, "refused", 0x81), "refused (0x81)");
  EXPECT_EQ(console::reason_text(TAVIK_RS232_NO_REPLY, "no reply", 0), "no reply");
}

TEST_F(SimConsoleTest, FollowsTheBoardThroughSilenceAndAPulledAdapter) {
  EXPECT_EQ(state().text(IDC_LINK_DRVB_PORT), "COM8");
  EXPECT_EQ(state().text(IDC_LINK_DRVB_STATE), "connected, idle");
  for (int id : {IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) click(id);
  ASSERT_TRUE(window_.wait_for([](const WindowState& s) {  // ten exchanges or more
    return std::atoi(s.text(IDC_LINK_DRVB_COUNTS).c_str()) >= 10;
  }));
  const auto answering = dlg().drvb_link().snapshot();
  EXPECT_EQ(answering.failures, 0u);
  EXPECT_GT(answering.round_trip_ms, 0.0);
  EXPECT_LT(answering.round_trip_ms, 200.0);

  sim_.execute("fault drvb * silence");
  EXPECT_TRUE(shows_start(IDC_LINK_DRVB_STATE, "no reply for "));
  EXPECT_TRUE(shows(IDC_LINK_DRVB_FAILURE, "no reply"));
  sim_.execute("fault drvb * status 3");
  EXPECT_TRUE(shows(IDC_LINK_DRVB_FAILURE, "refused (3)"));
  EXPECT_EQ(state().text(IDC_LINK_DRVB_LATE), "0");
  sim_.execute("fault clear");
  sim_.execute("fault drvb AC delay 250");  // too late for its read, caught before the next
  EXPECT_TRUE(window_.wait_for(
      [](const WindowState& s) { return std::atoi(s.text(IDC_LINK_DRVB_LATE).c_str()) > 0; }));
  sim_.execute("fault clear");
  EXPECT_TRUE(shows(IDC_LINK_DRVB_STATE, "answering"));

  // Pulled and plugged back: the pollers go on and the library reopens the
  // port, without a click.
  sim_.unplug(sim::Board::kDrvb);
  EXPECT_TRUE(shows(IDC_LINK_DRVB_STATE, "port lost, reopening"));
  EXPECT_TRUE(shows(IDC_LINK_DRVB_FAILURE, "device lost"));
  sim_.replug(sim::Board::kDrvb);
  EXPECT_TRUE(shows(IDC_LINK_DRVB_STATE, "answering"));
  EXPECT_TRUE(shows(IDC_LINK_DRVB_REOPENED, "1"));
  const int writes = state().writes(IDC_ENCODER_LEFT);
  EXPECT_TRUE(refreshed(IDC_ENCODER_LEFT, 2, writes));
  EXPECT_FALSE(state().is_stale(IDC_ENCODER_LEFT));
  EXPECT_EQ(state().text(IDC_LINK_PSB_STATE), "connected, idle");  // the other board untouched

  click(IDC_DRVB_DISCONNECT);
  EXPECT_EQ(state().text(IDC_LINK_DRVB_STATE), "not connected");
  click(IDC_DRVB_CONNECT);
  EXPECT_EQ(state().text(IDC_LINK_DRVB_STATE), "connected, idle");  // nothing asked yet
  EXPECT_EQ(dlg().drvb_link().snapshot().failures, 0u);             // counted afresh since Connect
}

TEST_F(SimConsoleTest, AFailedConnectShowsThePortTriedAndWhy) {
  click(IDC_PSB_DISCONNECT);
  window_.SetListSelection(IDC_PSB_PORT, 7);  // COM8: the drive board's, held by the console
  click(IDC_PSB_CONNECT);
  EXPECT_EQ(state().text(IDC_LINK_PSB_PORT), "COM8");
  EXPECT_EQ(state().text(IDC_LINK_PSB_STATE), "connect failed");
  EXPECT_EQ(state().text(IDC_LINK_PSB_FAILURE), "busy");
  window_.SetListSelection(IDC_PSB_PORT, 11);  // COM12: none
  click(IDC_PSB_CONNECT);
  EXPECT_EQ(state().text(IDC_LINK_PSB_PORT), "COM12");
  EXPECT_EQ(state().text(IDC_LINK_PSB_FAILURE), "missing");
}

TEST_F(SimConsoleTest, ReadOutsAreStaleWhileTheirPollerDoesNotRunOrItsReadFailed) {
  EXPECT_TRUE(state().is_stale(IDC_ENCODER_LEFT));  // no poller yet
  EXPECT_TRUE(state().is_stale(IDC_USONIC_RANGE1));
  click(IDC_ENCODER_ENABLE);
  click(IDC_USONIC_ENABLE);
  EXPECT_TRUE(window_.wait_for([](const WindowState& s) { return !s.is_stale(IDC_ENCODER_RIGHT); }));
  EXPECT_TRUE(window_.wait_for([](const WindowState& s) { return !s.is_stale(IDC_USONIC_RANGE7); }));

  sim_.execute("fault drvb AC bcc");
  EXPECT_TRUE(window_.wait_for([](const WindowState& s) { return s.is_stale(IDC_ENCODER_LEFT); }));
  sim_.execute("fault clear");
  EXPECT_TRUE(window_.wait_for([](const WindowState& s) { return !s.is_stale(IDC_ENCODER_LEFT); }));

  click(IDC_USONIC_DISABLE);  // stopped: the values stay, drawn stale
  ASSERT_TRUE(workers_alive(2));
  const std::string kept = state().text(IDC_USONIC_RANGE1);
  EXPECT_NE(kept, "--");
  EXPECT_TRUE(state().is_stale(IDC_USONIC_RANGE1));
  EXPECT_EQ(state().text(IDC_USONIC_RANGE1), kept);
}

}  // namespace
}  // namespace tavik::test
