// Both Windows DLLs against the board simulator over COM ports: under Wine,
// each port is a pseudo-terminal that the simulator serves on Linux.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "serial/transport/serial_port.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/scenarios/library_scenarios.h"
#include "tests/support/scenarios/lifetime_stress.h"
#include "tests/support/scenarios/request_frame.h"
#include "tests/windows/sim_control.h"

namespace tavik::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

class ComPortLibraries : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { sim_ = std::make_unique<SimControl>(); }
  static void TearDownTestSuite() { sim_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(sim_->connected()) << "no simulator control port on " << kControlPort;
    for (const char* command : {"fault clear", "bump off", "emg off", "reset psb", "reset drvb"}) {
      ASSERT_EQ(sim_->run(command).rfind("ok", 0), 0u) << command;
    }
    ASSERT_EQ(velk_rs232_psb_create(kPsbPort, 200), 0);
    ASSERT_EQ(zarn_rs232_drvb_create(kDrvbPort, 200), 0);
    sim_->received("psb");
    sim_->received("drvb");
  }

  void TearDown() override {
    velk_rs232_psb_destroy();
    zarn_rs232_drvb_destroy();
    zarn_rs232_psb_destroy();
  }

  static std::unique_ptr<SimControl> sim_;
};

std::unique_ptr<SimControl> ComPortLibraries::sim_;

// The scenarios tests/sim runs on pseudo-terminals, over COM ports.
TEST_F(ComPortLibraries, RequestsLeaveByteForByte) {
  run_request_scenarios([](const std::string& line) { return sim_->run(line); });
}

TEST_F(ComPortLibraries, RepliesDecode) {
  psb_power_data power{};
  ASSERT_EQ(velk_rs232_psb_read_power(&power), 0);
  EXPECT_GT(power.battery_volt, 11000);
  EXPECT_LT(power.battery_volt, 12700);
  EXPECT_EQ(power.drive_state, 1);
  EXPECT_EQ(power.lcd_state, 0);

  psb_sensor_data sensor{};
  ASSERT_EQ(velk_rs232_psb_read_sensor(&sensor), 0);
  for (float range : sensor.ranges) {
    EXPECT_GT(range, 0.0f);
    EXPECT_LE(range, 5.5f);
  }

  const int defaults[] = {1000, 500, 10};
  for (int id = 0; id < 3; ++id) {
    int value = -1;
    EXPECT_EQ(zarn_rs232_drvb_read_parameter(id, &value), 0);
    EXPECT_EQ(value, defaults[id]) << "parameter " << id;
  }

  struct Case {
    const char* bump;
    const char* emg;
    int left, right, emergency;
  };
  for (const Case& test : {Case{"bump left", "emg on", 1, 0, 1}, Case{"bump both", "emg off", 1, 1, 0},
                           Case{"bump off", "emg off", 0, 0, 0}}) {
    SCOPED_TRACE(std::string(test.bump) + ", " + test.emg);
    sim_->run(test.bump);
    sim_->run(test.emg);
    int left = -1, right = -1, emergency = -1;
    ASSERT_EQ(zarn_rs232_drvb_read_bumper_emg(&left, &right, &emergency), 0);
    EXPECT_EQ(left, test.left);
    EXPECT_EQ(right, test.right);
    EXPECT_EQ(emergency, test.emergency);
  }
}

TEST_F(ComPortLibraries, EachFaultFailsTheCallAsTheLibrarySays) {
  run_fault_scenarios([](const std::string& line) { return sim_->run(line); });
}

TEST_F(ComPortLibraries, SilentBoardCostsOneTimeout) {
  sim_->run("fault psb * silence");
  psb_power_data power{};
  const auto start = Clock::now();
  EXPECT_EQ(velk_rs232_psb_read_power(&power), -1);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_GE(ms, 190);
  EXPECT_LT(ms, 700);
}

// Pulled: every call fails at once as device lost. Plugged back: the library
// opens the port again by itself, without a new create.
TEST_F(ComPortLibraries, UnpluggedBoardIsReopenedWhenItComesBack) {
  psb_power_data power{};
  ASSERT_EQ(sim_->run("unplug psb"), "ok: psb unplugged");
  const auto start = Clock::now();
  EXPECT_EQ(velk_rs232_psb_read_power(&power), -1);
  EXPECT_EQ(velk_rs232_psb_read_power(&power), -1);
  EXPECT_EQ(velk_rs232_psb_last_error(), TAVIK_RS232_DEVICE_LOST);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(sim_->run("replug psb").rfind("ok", 0), 0u);
  int result = -1;
  const auto back = Clock::now();
  while (result != 0 && Clock::now() - back < std::chrono::seconds(3)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    result = velk_rs232_psb_read_power(&power);
  }
  EXPECT_EQ(result, 0) << velk_rs232_psb_error_text(velk_rs232_psb_last_error());
  EXPECT_LT(Clock::now() - back, std::chrono::milliseconds(1500));
}

TEST_F(ComPortLibraries, PortNames) {
  struct Case {
    const char* name;
    int result;
  };
  const Case cases[] = {{"COM12", 0}, {"\\\\.\\COM12", 0}, {"COM99", -1}, {"NOSUCHPORT", -1}, {"", -1}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    velk_rs232_psb_destroy();
    EXPECT_EQ(velk_rs232_psb_create(test.name, 200), test.result);
  }
}

TEST_F(ComPortLibraries, SerialPortResults) {
  SerialPort* port = serial_port_create(kOtherPsbPort, 200);
  ASSERT_NE(port, nullptr);
  std::uint8_t byte = 0;
  EXPECT_EQ(serial_port_write(port, &byte, 0), 0);
  EXPECT_NE(serial_port_purge(port), 0);
  EXPECT_EQ(serial_port_open(port), 0);  // already open: nothing changes
  const auto start = Clock::now();
  EXPECT_EQ(serial_port_read(port, &byte, 1), 0);  // silent line: 0 bytes after the time-out
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(190));
  EXPECT_EQ(serial_port_close(port), 0);
  EXPECT_EQ(serial_port_close(port), 0);
  EXPECT_EQ(serial_port_read(port, &byte, 1), -1);
  EXPECT_EQ(serial_port_write(port, &byte, 1), -1);
  EXPECT_EQ(serial_port_purge(port), -1);
  serial_port_destroy(port);
}

// The port reads ahead of its callers: a long read still ends at the gap
// after the reply, one-byte reads see the whole reply, and a purge also
// drops what was read ahead.
TEST_F(ComPortLibraries, ReadAheadKeepsTheReadResults) {
  SerialPort* port = serial_port_create(kOtherPsbPort, 200);
  ASSERT_NE(port, nullptr);
  const Bytes sar = framed("Sar");
  const auto send = [&] { serial_port_write(port, sar.data(), static_cast<int>(sar.size())); };
  std::uint8_t whole[256] = {};
  send();
  const auto start = Clock::now();
  const int length = serial_port_read(port, whole, sizeof whole);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(150));  // the gap, not the 200 ms time-out
  ASSERT_EQ(length, 44);
  send();
  Bytes bytewise;
  for (std::uint8_t byte = 0; serial_port_read(port, &byte, 1) == 1;) bytewise.push_back(byte);
  // The ranges move between the two replies; the frame's shape does not.
  ASSERT_EQ(bytewise.size(), 44u);
  EXPECT_EQ(bytewise[0], whole[0]);
  EXPECT_EQ(bytewise[1], whole[1]);
  EXPECT_EQ(bytewise[42], whole[42]);
  send();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the whole reply waits in the driver
  std::uint8_t two[2] = {};
  EXPECT_EQ(serial_port_read(port, two, 2), 2);
  EXPECT_NE(serial_port_purge(port), 0);
  EXPECT_EQ(serial_port_read(port, two, 1), 0);
  serial_port_destroy(port);
}

TEST_F(ComPortLibraries, SecondOpenOfAPortFails) {
  if (under_wine()) GTEST_SKIP() << "Wine does not enforce the exclusive open of a COM port";
  EXPECT_EQ(zarn_rs232_psb_create(kPsbPort, 200), -1);
}

TEST_F(ComPortLibraries, BothLibrariesAtOnce) {
  ASSERT_EQ(zarn_rs232_psb_create(kOtherPsbPort, 200), 0);
  std::vector<std::thread> threads;
  // Each thread's failures with their reasons; each library keeps them per thread.
  auto run = [](const char* name, std::function<int()> call, std::function<int()> reason) {
    for (int i = 0; i < 20; ++i) {
      if (call() != 0) ADD_FAILURE() << name << ": " << zarn_rs232_error_text(reason());
    }
  };
  threads.emplace_back(
      run, "read_sensor",
      [] {
        psb_sensor_data sensor{};
        return velk_rs232_psb_read_sensor(&sensor);
      },
      velk_rs232_psb_last_error);
  threads.emplace_back(
      run, "read_power",
      [] {
        psb_power_data power{};
        return velk_rs232_psb_read_power(&power);
      },
      velk_rs232_psb_last_error);
  threads.emplace_back(
      run, "read_usonic",
      [] {
        int ranges[7];
        return zarn_rs232_psb_read_usonic(ranges);
      },
      zarn_rs232_last_error);
  threads.emplace_back(
      run, "read_encoder",
      [] {
        int left = 0, right = 0;
        return zarn_rs232_drvb_read_encoder(&left, &right);
      },
      zarn_rs232_last_error);
  for (auto& t : threads) t.join();
}

TEST_F(ComPortLibraries, CommandsRaceCreateAndDestroy) {
  int left = 0, right = 0;
  stress_create_destroy(
      kDrvbPort, zarn_rs232_drvb_create, zarn_rs232_drvb_destroy,
      [&] { return zarn_rs232_drvb_read_encoder(&left, &right); },
      [] { return zarn_rs232_drvb_set_velocity(0, 0); });
}

}  // namespace
}  // namespace tavik::test
