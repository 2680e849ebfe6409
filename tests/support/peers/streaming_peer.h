// A device on the wrong port: it streams text without pause and never sends
// STX, as a GPS receiver or a console cable would.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <string_view>
#include <thread>

#include "sim/line/pty_endpoint.h"

namespace tavik::test {

class StreamingPeer {
 public:
  StreamingPeer() : thread_([this] { run(); }) {}
  ~StreamingPeer() { stop(); }
  StreamingPeer(const StreamingPeer&) = delete;
  StreamingPeer& operator=(const StreamingPeer&) = delete;

  const std::string& path() const { return pty_.slave_path(); }
  void publish(const std::string& dir, const std::string& name) { pty_.publish(dir, name); }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  void run() {
    constexpr std::string_view kText =
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    while (!stop_) {
      pollfd out{pty_.master_fd(), POLLOUT, 0};
      if (::poll(&out, 1, 10) > 0) (void)!::write(pty_.master_fd(), kText.data(), kText.size());
      // Whatever the other side sends is read and ignored.
      char sink[256];
      while (::read(pty_.master_fd(), sink, sizeof sink) > 0) {
      }
    }
  }

  sim::PtyEndpoint pty_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tavik::test
