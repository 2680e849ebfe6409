#include "console/core/link_monitor.h"

#include <cmath>
#include <cstdio>

#include "serial/names/port_map.h"
#include "tavik/rs232_error.h"

namespace tavik::console {
namespace {

// A COM name mapped to a network port in the ports file shows the address too.
std::string shown_port(const std::string& port) {
  const std::string target = mapped_port(port);
  return target.empty() ? port : port + " = " + target;
}

}  // namespace

void LinkMonitor::connected(const std::string& port, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  record_ = Snapshot{};
  record_.state = State::kIdle;
  record_.port = shown_port(port);
  last_good_ = now;
  lost_ = false;
}

void LinkMonitor::connect_failed(const std::string& port, const std::string& reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  record_ = Snapshot{};
  record_.state = State::kConnectFailed;
  record_.port = shown_port(port);
  record_.last_failure = reason;
}

void LinkMonitor::disconnected() {
  std::lock_guard<std::mutex> lock(mutex_);
  record_.state = State::kNotConnected;
}

void LinkMonitor::record(int result, Clock::duration took, int error, const std::string& reason,
                         Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  // A button without a connection, or a call that crossed a Disconnect.
  if (record_.state == State::kNotConnected || record_.state == State::kConnectFailed) return;
  ++record_.exchanges;
  if (result == 0) {
    if (lost_) ++record_.reopened;
    lost_ = false;
    record_.state = State::kAnswering;
    record_.round_trip_ms = std::chrono::duration<double, std::milli>(took).count();
    last_good_ = now;
    return;
  }
  ++record_.failures;
  record_.last_failure = reason;
  switch (error) {
    case TAVIK_RS232_DEVICE_LOST:
    case TAVIK_RS232_CONNECTION_LOST:
    case TAVIK_RS232_PORT_BUSY:  // a network port another client took over
      record_.state = State::kPortLost;
      lost_ = true;
      break;
    case TAVIK_RS232_NO_REPLY:
      record_.state = State::kNoReply;
      break;
    case TAVIK_RS232_BAD_CHECK:
    case TAVIK_RS232_MALFORMED:
    case TAVIK_RS232_REFUSED:
      record_.state = State::kBadReplies;
      break;
    default:  // refused here without sending: nothing learnt of the line
      break;
  }
}

LinkMonitor::Snapshot LinkMonitor::snapshot(Clock::time_point now) const {
  std::lock_guard<std::mutex> lock(mutex_);
  Snapshot s = record_;
  if (s.state == State::kNoReply || s.state == State::kBadReplies || s.state == State::kPortLost) {
    s.silent_s = std::chrono::duration<double>(now - last_good_).count();
  }
  return s;
}

std::string state_text(const LinkMonitor::Snapshot& s) {
  const char* format = nullptr;
  switch (s.state) {
    case LinkMonitor::State::kNotConnected:
      return "not connected";
    case LinkMonitor::State::kConnectFailed:
      return "connect failed";
    case LinkMonitor::State::kIdle:
      return "connected, idle";
    case LinkMonitor::State::kAnswering:
      return "answering";
    case LinkMonitor::State::kPortLost:
      return "port lost, reopening";
    case LinkMonitor::State::kNoReply:
      format = "no reply for %.0f s";
      break;
    case LinkMonitor::State::kBadReplies:
      format = "bad replies for %.0f s";
      break;
  }
  char text[48];
  std::snprintf(text, sizeof text, format, std::floor(s.silent_s));
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

std::string failure_text(const LinkMonitor::Snapshot& s) {
  return s.last_failure.empty() ? "--" : s.last_failure;
}

std::string reopened_text(const LinkMonitor::Snapshot& s) { return std::to_string(s.reopened); }

std::string late_text(const LinkMonitor::Snapshot& s, unsigned late_replies) {
  const bool connected =
      s.state != LinkMonitor::State::kNotConnected && s.state != LinkMonitor::State::kConnectFailed;
  return connected ? std::to_string(late_replies) : "--";
}

std::string reason_text(int error, const char* text, int refusal) {
  if (error == TAVIK_RS232_REFUSED && refusal > 0x20 && refusal < 0x7F) {
    return std::string(text) + " (" + static_cast<char>(refusal) + ")";
  }
  if (error == TAVIK_RS232_REFUSED && refusal != 0) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "%s (0x%02X)", text, static_cast<unsigned>(refusal) & 0xFFu);
    return hex;
  }
  return text;
}

}  // namespace tavik::console
