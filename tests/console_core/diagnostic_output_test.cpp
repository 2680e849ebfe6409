// The diagnostic lines on a pipe: a lone line goes out at once, a stream of
// them in order and whole, gathered into a few writes.
#include "console/core/diagnostic_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace tavik::test {
namespace {

using Clock = std::chrono::steady_clock;

// What arrives on fd until it holds `want` bytes or `limit` passes.
std::string read_for(int fd, std::size_t want, std::chrono::milliseconds limit) {
  std::string got;
  const auto end = Clock::now() + limit;
  while (got.size() < want && Clock::now() < end) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 10) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

TEST(DiagnosticOutput, ALoneLineGoesOutAtOnceAndAStreamInOrder) {
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  std::fflush(stdout);
  const int saved_stdout = ::dup(1);
  ::dup2(fds[1], 1);
  std::string lone;
  std::string stream;
  std::string expected;
  double lone_ms = 0;
  {
    console::DiagnosticOutput output;
    const auto start = Clock::now();
    output.print("ret: %d \n", -1);
    lone = read_for(fds[0], 9, std::chrono::milliseconds(1000));
    lone_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    for (int i = 0; i < 200; ++i) {
      output.print("drv ret: %d \n", i);
      expected += "drv ret: " + std::to_string(i) + " \n";
    }
    stream = read_for(fds[0], expected.size(), std::chrono::milliseconds(2000));
  }
  ::dup2(saved_stdout, 1);
  ::close(saved_stdout);
  ::close(fds[0]);
  ::close(fds[1]);
  EXPECT_EQ(lone, "ret: -1 \n");
  EXPECT_LT(lone_ms, 100.0) << "a line after a quiet spell waits for no batch";
  EXPECT_EQ(stream, expected);
}

}  // namespace
}  // namespace tavik::test
