// Shared pieces of the simulator's tests: a simulator with both boards open
// through lib_zarn_rs232, and driving the way the console does.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim/simulator.h"
#include "tavik/zarn_rs232.h"

namespace tavik::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Library time-out for the tests: short, so failures cost little.
inline constexpr int kTimeoutMs = 100;

class SimBoards : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(zarn_rs232_psb_create(sim_.psb_path().c_str(), kTimeoutMs), 0);
    ASSERT_EQ(zarn_rs232_drvb_create(sim_.drvb_path().c_str(), kTimeoutMs), 0);
  }
  void TearDown() override {
    zarn_rs232_drvb_set_servo(0);
    zarn_rs232_psb_destroy();
    zarn_rs232_drvb_destroy();
  }

  // Sends the wheel velocities every 100 ms for `period`, as the console's
  // robot-control worker does. Returns how long the wheels were commanded.
  Clock::duration drive_for(milliseconds period, int left, int right) {
    const auto start = Clock::now();
    while (Clock::now() - start < period) {
      EXPECT_EQ(zarn_rs232_drvb_set_velocity(left, right), 0);
      std::this_thread::sleep_for(
          std::min<Clock::duration>(milliseconds(100), period - (Clock::now() - start)));
    }
    return Clock::now() - start;
  }

  struct Encoders {
    int left = 0;
    int right = 0;
  };
  Encoders encoders() {
    Encoders e;
    EXPECT_EQ(zarn_rs232_drvb_read_encoder(&e.left, &e.right), 0);
    return e;
  }

  struct Bumpers {
    int left = -1;
    int right = -1;
    int emergency = -1;
  };
  Bumpers bumpers() {
    Bumpers b;
    EXPECT_EQ(zarn_rs232_drvb_read_bumper_emg(&b.left, &b.right, &b.emergency), 0);
    return b;
  }

  sim::Simulator sim_;
};

inline double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace tavik::test
