// Small helpers for tests that play the board side of a pseudo-terminal by hand.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "sim/line/pty_endpoint.h"

namespace tavik::test {

inline void master_write(const sim::PtyEndpoint& pty, const std::vector<std::uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::write(pty.master_fd(), bytes.data() + sent, bytes.size() - sent);
    if (n > 0)
      sent += static_cast<std::size_t>(n);
    else {
      pollfd p{pty.master_fd(), POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

// Reads what the master side receives until `count` bytes came or `timeout` passed.
inline std::vector<std::uint8_t> master_read(const sim::PtyEndpoint& pty, std::size_t count,
                                             std::chrono::milliseconds timeout) {
  std::vector<std::uint8_t> out;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (out.size() < count) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{pty.master_fd(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    std::uint8_t buf[256];
    ssize_t n = ::read(pty.master_fd(), buf, std::min(sizeof buf, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

inline double elapsed_ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace tavik::test
