// What the console tells the operator about the lines themselves: the link
// panel, and read-outs drawn stale when they are not current.
#include <cstdlib>

#include "console/core/link_monitor.h"
#include "sim_console_fixture.h"

namespace tavik::test {
namespace {

using console::LinkMonitor;
using std::chrono::microseconds;

// How one call's result and duration move the state.
TEST(LinkMonitor, ClassifiesFailuresByHowLongTheyTook) {
  struct Case {
    const char* name;
    int result;
    microseconds took;
    bool may_refuse;
    LinkMonitor::State expected;
  };
  using S = LinkMonitor::State;
  const Case cases[] = {
      {"answered", 0, microseconds(3000), false, S::kAnswering},
      {"waited for the time-out", -1, microseconds(200'000), false, S::kNoReply},
      {"a bad reply after a while", -1, microseconds(4000), false, S::kNoReply},
      {"failed at once", -1, microseconds(40), false, S::kPortLost},
      {"refused an argument at once", -1, microseconds(40), true, S::kAnswering},
  };
  const auto t0 = LinkMonitor::Clock::now();
  for (const Case& c : cases) {
    LinkMonitor link;
    link.connected("COM8", t0);
    link.record(c.result, c.took, c.may_refuse, t0 + std::chrono::seconds(3));
    const auto s = link.snapshot(t0 + std::chrono::seconds(3));
    EXPECT_EQ(s.state, c.expected) << c.name;
    EXPECT_EQ(s.exchanges, 1u) << c.name;
    EXPECT_EQ(s.failures, c.result == 0 ? 0u : 1u) << c.name;
  }
  LinkMonitor link;
  link.connected("COM8", t0);
  link.record(-1, microseconds(200'000), false, t0 + std::chrono::seconds(3));
  EXPECT_EQ(console::state_text(link.snapshot(t0 + std::chrono::milliseconds(3500))), "no reply for 3 s");
  link.disconnected();
  link.record(0, microseconds(10), false, t0);  // a button without a connection counts nothing
  EXPECT_EQ(console::state_text(link.snapshot()), "not connected");
  EXPECT_EQ(link.snapshot().exchanges, 1u);
}

TEST_F(SimConsoleTest, FollowsTheBoardThroughSilenceUnplugAndReconnect) {
  EXPECT_EQ(state().text(IDC_LINK_DRVB_PORT), "COM8");
  EXPECT_EQ(state().text(IDC_LINK_DRVB_STATE), "answering");
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
  sim_.execute("fault clear");
  EXPECT_TRUE(shows(IDC_LINK_DRVB_STATE, "answering"));

  sim_.unplug(sim::Board::kDrvb);
  EXPECT_TRUE(shows(IDC_LINK_DRVB_STATE, "port lost"));
  const auto lost = dlg().drvb_link().snapshot();
  EXPECT_GT(lost.failures, 0u);
  EXPECT_GE(lost.exchanges, answering.exchanges + lost.failures - 1);

  sim_.replug(sim::Board::kDrvb);
  click(IDC_DRVB_DISCONNECT);
  EXPECT_EQ(state().text(IDC_LINK_DRVB_STATE), "not connected");
  click(IDC_DRVB_CONNECT);
  click(IDC_ENCODER_ENABLE);
  EXPECT_TRUE(shows(IDC_LINK_DRVB_STATE, "answering"));
  EXPECT_EQ(dlg().drvb_link().snapshot().failures, 0u);      // counted afresh since Connect
  EXPECT_EQ(state().text(IDC_LINK_PSB_STATE), "answering");  // the other board untouched
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
