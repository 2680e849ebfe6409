// The health of one board's line as the console sees it: each library call
// since Connect, its duration, and when it failed, the reason the library
// gives (tavik_rs232_error). A lost device is reopened by the library on a
// later call; the monitor counts each time the board answers again after
// one.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace tavik::console {

class LinkMonitor {
 public:
  using Clock = std::chrono::steady_clock;
  enum class State { kNotConnected, kConnectFailed, kIdle, kAnswering, kNoReply, kBadReplies, kPortLost };

  struct Snapshot {
    State state = State::kNotConnected;
    std::string port;           // connected, or last tried
    std::string last_failure;   // "no reply", "refused (1)", ...; empty before one
    double round_trip_ms = -1;  // of the last call that succeeded; -1 before one
    std::uint64_t exchanges = 0;
    std::uint64_t failures = 0;
    std::uint64_t reopened = 0;  // the port came back after a loss
    double silent_s = 0;         // since the last success (or Connect), while failing
  };

  // Starts counting afresh for `port`; idle until the first call.
  void connected(const std::string& port, Clock::time_point now = Clock::now());
  // Connect to `port` failed for `reason`.
  void connect_failed(const std::string& port, const std::string& reason);
  void disconnected();
  // One library call: its result, its duration and, on failure, the
  // library's reason (a tavik_rs232_error) and its text.
  void record(int result, Clock::duration took, int error = 0, const std::string& reason = {},
              Clock::time_point now = Clock::now());
  Snapshot snapshot(Clock::time_point now = Clock::now()) const;

 private:
  mutable std::mutex mutex_;
  Snapshot record_;
  Clock::time_point last_good_;
  // The port was lost and has not answered since: the next answer is a
  // reopening, also when the first calls on the new connection go unanswered.
  bool lost_ = false;
};

// The texts of the link panel: "answering", "no reply for 3 s",
// "port lost, reopening", "12.4 ms", "250 exchanges, 2 failed".
std::string state_text(const LinkMonitor::Snapshot& s);
std::string round_trip_text(const LinkMonitor::Snapshot& s);
std::string counts_text(const LinkMonitor::Snapshot& s);
std::string failure_text(const LinkMonitor::Snapshot& s);
std::string reopened_text(const LinkMonitor::Snapshot& s);
// Replies that came after their call had given up, discarded by the library
// since Connect: "--" while not connected.
std::string late_text(const LinkMonitor::Snapshot& s, unsigned late_replies);

// "refused (1)" for a refusal with status byte '1'; the library's text for
// any other reason.
std::string reason_text(int error, const char* text, int refusal);

}  // namespace tavik::console
