// The velocity requests (BE) a simulated drive board received, each with the
// time it was first seen: the simulator's `received` record, read every
// millisecond on a thread of its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulator.h"

namespace tavik::test {

class VelocityRecord {
 public:
  using Clock = std::chrono::steady_clock;
  struct Velocity {
    std::string command;  // "BE200;200"; the stop 0,0 is "BE;"
    Clock::time_point seen;
  };

  explicit VelocityRecord(sim::Simulator& sim) : sim_(sim) {
    sim_.take_received(sim::Board::kDrvb);  // only what comes from now on
    thread_ = std::thread([this] { run(); });
  }
  ~VelocityRecord() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  VelocityRecord(const VelocityRecord&) = delete;
  VelocityRecord& operator=(const VelocityRecord&) = delete;

  std::vector<Velocity> velocities() const {
    std::lock_guard lock(mutex_);
    return velocities_;
  }
  // The first `command` seen at or after `since`, waiting up to `timeout` for it.
  std::optional<Clock::time_point> first(const std::string& command, Clock::time_point since,
                                         std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    std::optional<Clock::time_point> found;
    changed_.wait_for(lock, timeout, [&] {
      for (const Velocity& v : velocities_) {
        if (v.command == command && v.seen >= since) {
          found = v.seen;
          return true;
        }
      }
      return false;
    });
    return found;
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      lock.unlock();
      const sim::Bytes bytes = sim_.take_received(sim::Board::kDrvb);
      const Clock::time_point now = Clock::now();
      lock.lock();
      for (const std::uint8_t byte : bytes) take(byte, now);
      if (!bytes.empty()) changed_.notify_all();
      changed_.wait_for(lock, std::chrono::milliseconds(1), [this] { return stop_; });
    }
  }
  // STX, the command, ETX, the check byte.
  void take(std::uint8_t byte, Clock::time_point now) {
    if (after_etx_) {
      after_etx_ = false;
    } else if (byte == 0x02) {
      frame_.clear();
      in_frame_ = true;
    } else if (byte == 0x03 && in_frame_) {
      in_frame_ = false;
      after_etx_ = true;
      if (frame_.rfind("BE", 0) == 0) velocities_.push_back({frame_, now});
    } else if (in_frame_) {
      frame_.push_back(static_cast<char>(byte));
    }
  }

  sim::Simulator& sim_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Velocity> velocities_;
  std::string frame_;
  bool in_frame_ = false;
  bool after_etx_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace tavik::test
