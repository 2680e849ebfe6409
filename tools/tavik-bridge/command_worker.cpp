#include "command_worker.h"

#include <chrono>

namespace tavik::cli {

CommandWorker::CommandWorker() : thread_([this] { run(); }) {}

CommandWorker::~CommandWorker() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool CommandWorker::post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (jobs_.size() >= kMostQueued) return false;
    jobs_.push_back(std::move(job));
  }
  changed_.notify_all();
  return true;
}

void CommandWorker::run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    changed_.wait_for(lock, std::chrono::seconds(1), [this] { return quit_ || !jobs_.empty(); });
    if (quit_ || jobs_.empty()) continue;
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    lock.lock();
  }
}

}  // namespace tavik::cli
