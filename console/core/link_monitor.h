// The health of one board's line as the console sees it: the result and the
// duration of each library call since Connect. A failure that comes back at
// once means the port is gone (the device was pulled); one that takes about
// the time-out means the board did not answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace tavik::console {

class LinkMonitor {
 public:
  using Clock = std::chrono::steady_clock;
  enum class State { kNotConnected, kAnswering, kNoReply, kPortLost };

  struct Snapshot {
    State state = State::kNotConnected;
    std::string port;
    double round_trip_ms = -1;  // of the last call that succeeded; -1 before one
    std::uint64_t exchanges = 0;
    std::uint64_t failures = 0;
    double silent_s = 0;  // since the last success (or Connect), while not answering
  };

  // Failures quicker than this cannot have waited for a reply: at 115200 baud
  // the shortest request and reply alone take 0.9 ms on the line.
  static constexpr auto kAtOnce = std::chrono::microseconds(500);

  // Starts counting afresh for `port`.
  void connected(const std::string& port, Clock::time_point now = Clock::now());
  void disconnected();
  // One library call. `may_refuse`: the call refuses some arguments at once
  // without sending, so a quick failure says nothing about the port.
  void record(int result, Clock::duration took, bool may_refuse = false,
              Clock::time_point now = Clock::now());
  Snapshot snapshot(Clock::time_point now = Clock::now()) const;

 private:
  mutable std::mutex mutex_;
  Snapshot record_;
  Clock::time_point last_good_;
};

// The texts of the link panel: "answering", "no reply for 3 s", "12.4 ms",
// "250 exchanges, 2 failed".
std::string state_text(const LinkMonitor::Snapshot& s);
std::string round_trip_text(const LinkMonitor::Snapshot& s);
std::string counts_text(const LinkMonitor::Snapshot& s);

}  // namespace tavik::console
