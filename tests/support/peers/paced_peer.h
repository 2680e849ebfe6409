// A board that sends its reply at the line rate, a byte at a time, as a UART
// without a FIFO hands bytes on: for each request (framed as the boards frame
// them), byte i of the reply is written when its ten bits would have arrived
// at 115200 baud, counted from the request's first byte (the request's own
// bytes first, as on a wire). A pause may hold the reply back before one of
// its bytes; the bytes after it follow at the line rate again.
#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "sim/line/pty_endpoint.h"
#include "sim/line/request_reader.h"
#include "sim/models/frame_builder.h"

namespace tavik::test {

inline constexpr std::chrono::nanoseconds kLineByteTime{86806};  // 10 bits at 115200 baud

struct PacedReply {
  sim::Bytes bytes;
  int pause_before = -1;  // the byte held back, or -1
  std::chrono::milliseconds pause{0};
};

class PacedPeer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit PacedPeer(PacedReply reply) : reply_(std::move(reply)), thread_([this] { run(); }) {}
  ~PacedPeer() {
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
    ::close(wake_);
  }
  PacedPeer(const PacedPeer&) = delete;
  PacedPeer& operator=(const PacedPeer&) = delete;

  const std::string& path() const { return pty_.slave_path(); }
  // How much later than its time the latest byte so far was written.
  std::chrono::microseconds worst_lateness() const {
    return std::chrono::microseconds(worst_late_us_.load());
  }

 private:
  static void sleep_until(Clock::time_point until) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
    const timespec at{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
  }

  void run() {
    ::prctl(PR_SET_TIMERSLACK, 1UL);  // this thread's sleeps end on time, not up to 50 us late
    sim::RequestReader reader;
    long request_bytes = 0;  // of the request being read
    Clock::time_point first{};
    for (;;) {
      pollfd fds[2] = {{wake_, POLLIN, 0}, {pty_.master_fd(), POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
      if (fds[0].revents != 0) return;
      if (!(fds[1].revents & POLLIN)) continue;
      std::uint8_t chunk[256];
      const ssize_t n = ::read(pty_.master_fd(), chunk, sizeof chunk);
      if (n <= 0) continue;
      if (request_bytes == 0) first = Clock::now();
      for (ssize_t i = 0; i < n; ++i) {
        ++request_bytes;
        if (reader.feed(chunk[i]) != sim::RequestReader::Event::kRequest) continue;
        send(first, request_bytes);
        request_bytes = 0;
      }
    }
  }

  // The reply to a request of `request_bytes` that began at `start`.
  void send(Clock::time_point start, long request_bytes) {
    auto due = start + kLineByteTime * request_bytes;
    for (std::size_t i = 0; i < reply_.bytes.size(); ++i) {
      if (static_cast<int>(i) == reply_.pause_before) due += reply_.pause;
      due += kLineByteTime;
      sleep_until(due);
      (void)!::write(pty_.master_fd(), &reply_.bytes[i], 1);
      const long late = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - due).count();
      if (late > worst_late_us_) worst_late_us_ = late;
    }
  }

  sim::PtyEndpoint pty_;
  int wake_ = ::eventfd(0, EFD_CLOEXEC);
  const PacedReply reply_;
  std::atomic<long> worst_late_us_{0};
  std::thread thread_;
};

}  // namespace tavik::test
