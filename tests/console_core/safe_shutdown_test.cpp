// What the console leaves behind when it lets go of the boards: stopped
// wheels, and no wait that a silent, chattering or unread line can stretch.
#include <fcntl.h>
#include <unistd.h>

#include <future>

#include "console_fixture.h"
#include "tests/support/peers/pty_test_util.h"
#include "tests/support/peers/streaming_peer.h"

namespace tavik::test {
namespace {

// The last request on the drive board's line, which must be the stop, and
// nothing may follow once the port is released.
void expect_stop_was_last(const test::ScriptedPeer& board) {
  const auto requests = board.requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back(), sim::frame("BE;"));  // 0,0: both fields empty
}

// Front is held and the board has been told 200,200 when `let_go` runs.
TEST_F(ConsoleTest, LettingGoOfTheDriveBoardWhileJoggingStopsTheWheels) {
  struct Case {
    const char* name;
    std::function<void(CConsoleDlg&)> let_go;
  };
  const Case cases[] = {
      {"disconnect", [](CConsoleDlg& d) { d.OnCommand(IDC_DRVB_DISCONNECT); }},
      {"close", [](CConsoleDlg& d) { d.OnDestroy(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dlg_ = std::make_unique<CConsoleDlg>(window_);
    auto& board = drvb_board();
    dlg().OnInitDialog();
    click(IDC_DRVB_CONNECT);
    click(IDC_ROBOT_CTRL_ENABLE);
    dlg().OnJogPressed(IDC_FRONT);
    ASSERT_TRUE(board.wait_for_requests(1, std::chrono::seconds(2)));
    ASSERT_TRUE(eventually([&] { return !commands(board, "BE200;200").empty(); }));
    c.let_go(dlg());
    std::this_thread::sleep_for(milliseconds(150));
    expect_stop_was_last(board);
    dlg_.reset();
  }
}

// A drive board port that streams text (the wrong device) must not freeze
// Disconnect: each exchange ends within about one time-out.
TEST_F(ConsoleTest, DisconnectFromAStreamingPortReturnsPromptly) {
  StreamingPeer device;
  device.publish(link_dir_, "COM8");
  dlg().OnInitDialog();
  click(IDC_DRVB_CONNECT);
  ASSERT_TRUE(dlg().m_bDrvbConnected);
  for (int id : {IDC_ROBOT_CTRL_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) click(id);
  ASSERT_TRUE(workers_alive(4));
  std::this_thread::sleep_for(milliseconds(300));
  const auto start = std::chrono::steady_clock::now();
  auto disconnect = std::async(std::launch::async, [&] { dlg().OnCommand(IDC_DRVB_DISCONNECT); });
  if (disconnect.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "Disconnect did not return within 5 s";
    device.stop();
  }
  disconnect.get();
  // The exchanges in progress and the final stop, each bounded by one time-out.
  EXPECT_LT(elapsed_ms(start), 1500.0);
}

// With the standard output a pipe that nobody reads, the pollers go on and
// closing is as quick as ever.
TEST_F(ConsoleTest, AnUnreadStandardOutputNeitherStopsPollingNorDelaysClosing) {
  int pipe_fds[2];
  ASSERT_EQ(::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK), 0);
  const char fill[4096] = {};
  while (::write(pipe_fds[1], fill, sizeof fill) > 0) {
  }
  std::fflush(stdout);
  const int saved_stdout = ::dup(1);
  ::dup2(pipe_fds[1], 1);
  ::fcntl(1, F_SETFL, ::fcntl(1, F_GETFL) & ~O_NONBLOCK);  // blocking, as a shell's pipe is

  psb_board();
  drvb_board();
  start_everything();
  const int before = state().writes(IDC_ENCODER_LEFT);
  const bool polling = refreshed(IDC_ENCODER_LEFT, 10, before) && refreshed(IDC_USONIC_RANGE1, 10, 1);
  const auto start = std::chrono::steady_clock::now();
  auto close = std::async(std::launch::async, [&] { dlg().OnDestroy(); });
  const bool closed = close.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  if (!closed) {
    char sink[4096];  // let a blocked writer go, so the test can end
    while (::read(pipe_fds[0], sink, sizeof sink) > 0 ||
           close.wait_for(milliseconds(10)) != std::future_status::ready) {
    }
  }
  close.get();
  const double close_ms = elapsed_ms(start);
  dlg_.reset();  // the diagnostic writer ends within its bound too
  ::dup2(saved_stdout, 1);
  ::close(saved_stdout);
  ::close(pipe_fds[0]);
  ::close(pipe_fds[1]);

  EXPECT_TRUE(polling) << "the pollers stopped while their lines were not read";
  EXPECT_TRUE(closed);
  EXPECT_LT(close_ms, 1500.0);
}

}  // namespace
}  // namespace tavik::test
