// The processor time a process has used and the latencies measured, for the benches that measure a
// program run as a child (bench/bridge_bench, bench/ros2_bench).
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tavik::test {

// User and system time of a process, in seconds (/proc/PID/stat).
inline double cpu_seconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  unsigned long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stoul(field);
    if (i == 15) stime = std::stoul(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The share of one core a process uses over the next `seconds`, in percent.
inline double cpu_percent_over(pid_t pid, int seconds) {
  const double before = cpu_seconds(pid);
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return 100 * (cpu_seconds(pid) - before) / wall;
}

// Prints "WHAT: p50 …, p99 …, worst … (N of SENT; 1 ms resolution)"; false
// when no time was measured.
inline bool print_latencies(const char* what, std::vector<double> ms, int sent) {
  if (ms.empty()) return false;
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) {
    return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * static_cast<double>(ms.size())))];
  };
  std::printf("%s: p50 %.2f ms, p99 %.2f ms, worst %.2f ms (%zu of %d; 1 ms resolution)\n", what, at(0.5),
              at(0.99), ms.back(), ms.size(), sent);
  return true;
}

}  // namespace tavik::test
