// The drive board's velocity calls as the library's wire trace (TAVIK_TRACE)
// tells them: each call's requests, whether it was sent again after waiting
// out a late reply's window, and its outcome.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace tavik::bench {

struct VelocityCall {
  std::chrono::microseconds sent{};       // the first request
  std::chrono::microseconds last_sent{};  // the last, when sent again
  std::chrono::microseconds answered{};   // the outcome's line
  int requests = 0;                       // more than 1: sent again after a window
  bool ok = false;
};

// What the trace says of the velocity calls that began between from and to.
struct VelocityTrace {
  std::vector<VelocityCall> calls;

  int repeats() const {
    int n = 0;
    for (const VelocityCall& c : calls) n += c.requests - 1;
    return n;
  }
  int failed() const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const auto& c) { return !c.ok; }));
  }
  int failed_after_repeat() const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [](const auto& c) { return !c.ok && c.requests > 1; }));
  }
  // Answered, but later than `after` from the first request: it waited on
  // something besides its own exchange (a window, a repeat).
  int answered_late(std::chrono::microseconds after) const {
    return static_cast<int>(std::count_if(
        calls.begin(), calls.end(), [after](const auto& c) { return c.ok && c.answered - c.sent > after; }));
  }
  // The longest time between two velocity requests the library sent.
  double longest_sent_gap_ms() const {
    std::chrono::microseconds longest{0};
    for (std::size_t i = 0; i < calls.size(); ++i) {
      longest = std::max(longest, calls[i].last_sent - calls[i].sent);
      if (i > 0) longest = std::max(longest, calls[i].sent - calls[i - 1].last_sent);
    }
    return static_cast<double>(longest.count()) / 1000.0;
  }
  // The gaps longer than `over` between velocities the board took (answered):
  // `lost` those in which every gap between two requests on the line was
  // shorter (requests lost in a row), `sender` the others; and the longest.
  struct Gaps {
    int lost = 0;
    int sender = 0;
    double longest_ms = 0;
  };
  Gaps answered_gaps(std::chrono::microseconds over) const {
    Gaps g;
    const VelocityCall* last_ok = nullptr;
    std::chrono::microseconds longest_line{0};
    for (std::size_t i = 0; i < calls.size(); ++i) {
      if (i > 0) longest_line = std::max(longest_line, calls[i].sent - calls[i - 1].last_sent);
      if (!calls[i].ok) continue;
      if (last_ok != nullptr) {
        const auto gap = calls[i].sent - last_ok->sent;
        g.longest_ms = std::max(g.longest_ms, static_cast<double>(gap.count()) / 1000.0);
        if (gap > over) ++(longest_line > over ? g.sender : g.lost);
      }
      last_ok = &calls[i];
      longest_line = std::chrono::microseconds{0};
    }
    return g;
  }
};

// Reads the drive board's velocity calls from the trace file, from byte
// `offset` on, begun between from and to (the steady clock's microseconds).
inline VelocityTrace read_velocity_trace(const std::string& path, std::streamoff offset,
                                         std::chrono::microseconds from, std::chrono::microseconds to) {
  VelocityTrace trace;
  std::ifstream in(path);
  in.seekg(offset);
  std::string line;
  VelocityCall call;
  bool open = false;
  while (std::getline(in, line)) {
    // <us> drvb tx|rx|... <hex>  |<text>| [outcome]
    const auto first = line.find(' ');
    if (first == std::string::npos || line.compare(first + 1, 5, "drvb ") != 0) continue;
    const std::chrono::microseconds at{std::stoll(line.substr(0, first))};
    const std::string what = line.substr(first + 6, 2);
    const auto bar = line.find('|');
    const auto last_bar = line.rfind('|');
    if (bar == std::string::npos || last_bar == bar) continue;
    const std::string text = line.substr(bar + 1, last_bar - bar - 1);
    const std::string outcome =
        last_bar + 2 <= line.size() ? line.substr(std::min(last_bar + 2, line.size())) : "";
    if (what == "tx") {
      const bool velocity = text.find("BE") == 1;  // after STX
      if (open && velocity) {
        ++call.requests;  // the same call sends again
        call.last_sent = at;
        continue;
      }
      open = velocity && at >= from && at <= to;
      if (open) call = {at, at, {}, 1, false};
    } else if (what == "rx" && open && !outcome.empty()) {
      call.answered = at;
      call.ok = outcome == "ok";
      trace.calls.push_back(call);
      open = false;
    }
  }
  return trace;
}

}  // namespace tavik::bench
