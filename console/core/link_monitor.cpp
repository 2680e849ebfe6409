#include "console/core/link_monitor.h"

#include <cmath>
#include <cstdio>

namespace tavik::console {

void LinkMonitor::connected(const std::string& port, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  record_ = Snapshot{};
  record_.state = State::kAnswering;
  record_.port = port;
  last_good_ = now;
}

void LinkMonitor::disconnected() {
  std::lock_guard<std::mutex> lock(mutex_);
  record_.state = State::kNotConnected;
}

void LinkMonitor::record(int result, Clock::duration took, bool may_refuse, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (record_.state == State::kNotConnected) return;  // a button without a connection
  ++record_.exchanges;
  if (result == 0) {
    record_.state = State::kAnswering;
    record_.round_trip_ms = std::chrono::duration<double, std::milli>(took).count();
    last_good_ = now;
    return;
  }
  ++record_.failures;
  if (took < kAtOnce) {
    if (!may_refuse) record_.state = State::kPortLost;
  } else if (record_.state != State::kPortLost) {
    record_.state = State::kNoReply;
  }
}

LinkMonitor::Snapshot LinkMonitor::snapshot(Clock::time_point now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Snapshot s = record_;
  if (s.state == State::kNoReply || s.state == State::kPortLost) {
    s.silent_s = std::chrono::duration<double>(now - last_good_).count();
  }
  return s;
}

std::string state_text(const LinkMonitor::Snapshot& s) {
  switch (s.state) {
    case LinkMonitor::State::kNotConnected:
      return "not connected";
    case LinkMonitor::State::kAnswering:
      return "answering";
    case LinkMonitor::State::kPortLost:
      return "port lost";
    case LinkMonitor::State::kNoReply:
      break;
  }
  char text[48];
  std::snprintf(text, sizeof text, "no reply for %.0f s", std::floor(s.silent_s));
  return text;
}

std::string round_trip_text(const LinkMonitor::Snapshot& s) {
  if (s.round_trip_ms < 0) return "--";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", s.round_trip_ms);
  return text;
}

std::string counts_text(const LinkMonitor::Snapshot& s) {
  char text[64];
  std::snprintf(text, sizeof text, "%llu exchanges, %llu failed",
                static_cast<unsigned long long>(s.exchanges), static_cast<unsigned long long>(s.failures));
  return text;
}

}  // namespace tavik::console
