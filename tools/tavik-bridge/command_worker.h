// Board commands other than the drive, one after another on a thread of
// their own, so that a silent board holds up neither the broker nor the drive.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tavik::cli {

class CommandWorker {
 public:
  // The most jobs that wait at once.
  static constexpr std::size_t kMostQueued = 16;

  CommandWorker();
  // Carries out the job under way, drops those waiting, and joins.
  ~CommandWorker();
  CommandWorker(const CommandWorker&) = delete;
  CommandWorker& operator=(const CommandWorker&) = delete;
  // False when kMostQueued jobs wait already.
  bool post(std::function<void()> job);

 private:
  void run();
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace tavik::cli
