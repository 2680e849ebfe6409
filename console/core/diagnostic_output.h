// The console's diagnostic lines ("ret: %d \n") on the standard output.
//
// A worker only queues its line. One writer thread hands the lines to the
// standard output in batches, at most a quarter of a second after they were
// printed, as the output takes them; while it does not (a pipe nobody reads,
// a terminal paused with Ctrl-S), the queue fills and further lines are
// dropped and counted, so no worker ever waits for whoever reads the output.
// Closing writes what the output takes within a short bound, and reports on
// the standard error how many lines were dropped, if any.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace tavik::console {

class DiagnosticOutput {
 public:
  static constexpr std::size_t kCapacity = 256;
  static constexpr std::chrono::milliseconds kCloseWait{200};

  DiagnosticOutput();
  ~DiagnosticOutput();
  DiagnosticOutput(const DiagnosticOutput&) = delete;
  DiagnosticOutput& operator=(const DiagnosticOutput&) = delete;

  // Queues the line printf(format, value) makes; never blocks on the output.
  void print(const char* format, int value);
  // Has every queued line written now, and waits until it was written or
  // dropped; false after `timeout`.
  bool flush(std::chrono::milliseconds timeout);
  std::uint64_t dropped() const;

 private:
  void run();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  bool writing_ = false;  // the writer holds a line outside the lock
  bool idle_ = true;      // the writer waits for a first line, not gathering
  int flushing_ = 0;      // callers waiting in flush()
  bool stopping_ = false;
  bool closed_ = false;  // the output is gone: every line is dropped
  std::chrono::steady_clock::time_point stop_deadline_;
  std::uint64_t dropped_ = 0;
  std::thread writer_;
};

// Platform part (diagnostic_output_posix.cpp or _win32.cpp).
//
// Writes as much of text to descriptor fd as it takes within `wait`. Returns
// the bytes written, or -1 when the output is closed for good.
int write_when_ready(int fd, const char* text, int length, std::chrono::milliseconds wait);
// Makes a broken pipe on the calling thread a write error instead of a
// signal that ends the program.
void ignore_broken_pipe_on_this_thread();

}  // namespace tavik::console
