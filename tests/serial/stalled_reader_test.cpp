// A reply that came in time is the answer also when the reading process is
// held up past the time-out before it takes it (a loaded machine): the
// command runs in a child process that the test stops (SIGSTOP) while it
// waits for the reply, the board's whole reply is written meanwhile, and the
// child goes on only after its time-out has passed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "serial/exchange/reply_readers.h"
#include "serial/transport/serial_port.h"
#include "sim/line/pty_endpoint.h"
#include "sim/models/frame_builder.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/drvb_peer_replies.h"
#include "tests/support/peers/pty_test_util.h"

namespace tavik {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kTimeoutMs = 100;

// Whether the process sleeps in poll(): waiting for the reply.
bool waits_in_poll(pid_t pid) {
  std::ifstream wchan("/proc/" + std::to_string(pid) + "/wchan");
  std::string where;
  wchan >> where;
  return where.find("poll") != std::string::npos;
}

// The exit status of the child within 5 s; -1 (and the child killed) when it
// did not end.
int child_status(pid_t pid) {
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Case {
  const char* name;
  // Run in the child on the port's path: 0 for the answer read whole and right.
  std::function<int(const std::string& path)> command;
  std::size_t request_bytes;
  sim::Bytes reply;
};

int through_library(const std::string& path, const std::function<int()>& call) {
  if (zarn_rs232_drvb_create(path.c_str(), kTimeoutMs) != 0) return 2;
  const int result = call();
  return result == 0 ? 0 : 10 + zarn_rs232_last_error();
}

const sim::Bytes kCounts = sim::frame("00000001234-000000056");

const Case kCases[] = {
    {"parameter read",
     [](const std::string& path) {
       return through_library(path, [] {
         int value = 0;
         const int r = zarn_rs232_drvb_read_parameter(0, &value);
         return r == 0 && value != 120 ? -1 : r;
       });
     },
     6, sim::frame("0120")},
    {"bumpers, a 12-byte frame",
     [](const std::string& path) {
       return through_library(path, [] {
         int left = 0, right = 0, emergency = 0;
         const int r = zarn_rs232_drvb_read_bumper_emg(&left, &right, &emergency);
         return r == 0 && (left != 1 || right != 0) ? -1 : r;
       });
     },
     5, test::aa_reply(0, 0, '1', '0')},
    {"a frame collected as such (tavik raw)",
     [](const std::string& path) {
       SerialPort* port = serial_port_create(path.c_str(), kTimeoutMs);
       if (port == nullptr) return 2;
       const std::uint8_t request[] = {0x02, 'A', 'C', '0', 0x03, 'A' ^ 'C' ^ '0' ^ 0x03};
       serial_port_write(port, request, sizeof request);
       std::uint8_t frame[kFrameSize] = {};
       int length = 0;
       const Result r = collect_frame(port, frame, FrameShape::kEtxTerminated, &length, reply_deadline(port));
       serial_port_destroy(port);
       return r.is_ok() && length == static_cast<int>(kCounts.size()) ? 0 : 10 + static_cast<int>(r.failure);
     },
     6, kCounts},
};

TEST(StalledReader, AReplyThatCameInTimeIsTakenAfterTheStall) {
  for (const Case& c : kCases) {
    sim::PtyEndpoint board;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(c.command(board.slave_path()));
    const auto request = test::master_read(board, c.request_bytes, milliseconds(2000));
    EXPECT_EQ(request.size(), c.request_bytes) << c.name;
    // Stopped while it waits for the reply, with the reply's time ahead of it.
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (!waits_in_poll(child) && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(1));
    EXPECT_TRUE(waits_in_poll(child)) << c.name;
    ::kill(child, SIGSTOP);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status));
    test::master_write(board, c.reply);
    // Held well past its time-out and the frame's wire time.
    std::this_thread::sleep_for(milliseconds(kTimeoutMs + 150));
    ::kill(child, SIGCONT);
    EXPECT_EQ(child_status(child), 0) << c.name << ": 10 + the failure's code, -1 for no end";
  }
}

}  // namespace
}  // namespace tavik
