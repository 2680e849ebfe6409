#include "console/core/diagnostic_output.h"

#include <algorithm>
#include <cstdio>

namespace tavik::console {
namespace {

constexpr std::chrono::milliseconds kWriteSlice{50};
constexpr std::chrono::milliseconds kGather{250};

}  // namespace

DiagnosticOutput::DiagnosticOutput() : writer_([this] { run(); }) {}

DiagnosticOutput::~DiagnosticOutput() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    stop_deadline_ = std::chrono::steady_clock::now() + kCloseWait;
  }
  changed_.notify_all();
  writer_.join();
  if (dropped_ > 0) {
    char text[128];
    const int length = std::snprintf(text, sizeof text,
                                     "%llu diagnostic lines dropped: the standard output did not take them\n",
                                     static_cast<unsigned long long>(dropped_));
    write_when_ready(2, text, length, std::chrono::milliseconds(0));
  }
}

void DiagnosticOutput::print(const char* format, int value) {
  char text[64];
  const int length = std::snprintf(text, sizeof text, format, value);
  if (length <= 0) return;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || queue_.size() >= kCapacity) {
      ++dropped_;
      return;
    }
    queue_.emplace_back(text, static_cast<std::size_t>(std::min<int>(length, sizeof text - 1)));
    // An idle writer wakes for the first line; a gathering one only when
    // the queue is half full.
    wake = (idle_ && queue_.size() == 1) || queue_.size() == kCapacity / 2;
  }
  if (wake) changed_.notify_all();
}

bool DiagnosticOutput::flush(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  ++flushing_;  // the writer stops gathering
  changed_.notify_all();
  const bool done = changed_.wait_for(lock, timeout, [this] { return queue_.empty() && !writing_; });
  --flushing_;
  return done;
}

std::uint64_t DiagnosticOutput::dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

void DiagnosticOutput::run() {
  ignore_broken_pipe_on_this_thread();
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (idle_) {
      // The first line after a quiet spell is written at once.
      changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    } else {
      // While lines keep coming (a poller prints ten a second), one
      // wake-up and one write take what came within kGather.
      changed_.wait_for(lock, kGather,
                        [this] { return stopping_ || flushing_ > 0 || queue_.size() >= kCapacity / 2; });
    }
    idle_ = queue_.empty();
    if (idle_ && !stopping_) continue;
    auto wait = kWriteSlice;
    if (stopping_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          stop_deadline_ - std::chrono::steady_clock::now());
      if (queue_.empty() || left.count() <= 0) break;
      wait = std::min(wait, left);
    }
    // The lines stay queued until written: new ones join at the back.
    std::string text;
    for (const std::string& line : queue_) text += line;
    writing_ = true;
    lock.unlock();
    const int written = write_when_ready(1, text.data(), static_cast<int>(text.size()), wait);
    lock.lock();
    writing_ = false;
    if (written < 0) {
      closed_ = true;
      dropped_ += queue_.size();
      queue_.clear();
    } else {
      auto left = static_cast<std::size_t>(written);
      while (left > 0 && !queue_.empty()) {
        const std::size_t take = std::min(left, queue_.front().size());
        if (take == queue_.front().size()) {
          queue_.pop_front();
        } else {
          queue_.front().erase(0, take);
        }
        left -= take;
      }
    }
    changed_.notify_all();
  }
  dropped_ += queue_.size();
  queue_.clear();
  changed_.notify_all();
}

}  // namespace tavik::console
