// Scenarios of both libraries against the board simulator, one table each,
// run by the Linux tests (tests/sim, on pseudo-terminals) and by the Windows
// build's (tests/windows, over COM ports under Wine) alike. The power &
// sensor board goes through lib_velk_rs232_psb, the drive board through
// lib_zarn_rs232; both must be open, with a time-out of 100 to 200 ms.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/scenarios/request_frame.h"

namespace tavik::test {

// Runs one tavik-sim command and returns its answer line.
using SimCommand = std::function<std::string(const std::string&)>;

// The call that sends the request with these command letters.
inline std::function<int()> call_sending(const std::string& command) {
  static psb_sensor_data sensor;
  static psb_power_data power;
  static int a, b, c;
  if (command == "Sar") return [] { return velk_rs232_psb_read_sensor(&sensor); };
  if (command == "PDR") return [] { return velk_rs232_psb_read_power(&power); };
  if (command == "P") return [] { return velk_rs232_psb_set_power_control(2, 1); };
  if (command == "SDU") return [] { return velk_rs232_psb_set_usonic_max_dist(4); };
  if (command == "DB" || command == "CZ") return [] { return zarn_rs232_drvb_set_servo(1); };
  if (command == "BE") return [] { return zarn_rs232_drvb_set_velocity(10, 10); };
  if (command == "AA") return [] { return zarn_rs232_drvb_read_bumper_emg(&a, &b, &c); };
  if (command == "AC") return [] { return zarn_rs232_drvb_read_encoder(&a, &b); };
  if (command == "CG") return [] { return zarn_rs232_drvb_set_drive_err_reset(); };
  if (command == "XL") return [] { return zarn_rs232_drvb_read_parameter(2, &a); };
  if (command == "XB" || command == "XD") return [] { return zarn_rs232_drvb_set_parameter(2, 50); };
  return [] { return -2; };
}

// Each call leaves as exactly these bytes.
inline void run_request_scenarios(const SimCommand& sim) {
  psb_sensor_data sensor{};
  psb_power_data power{};
  int a = 0, b = 0, c = 0;
  struct Case {
    const char* board;
    std::function<int()> call;
    std::vector<std::uint8_t> request;
  };
  std::vector<std::uint8_t> servo_on = framed("DB11"), cz = framed("CZ11");
  servo_on.insert(servo_on.end(), cz.begin(), cz.end());
  const Case cases[] = {
      {"psb", [&] { return velk_rs232_psb_read_sensor(&sensor); }, {0x02, 0x53, 0x61, 0x72, 0x03, 0x43}},
      {"psb", [&] { return velk_rs232_psb_read_power(&power); }, {0x02, 0x50, 0x44, 0x52, 0x03, 0x45}},
      {"psb", [] { return velk_rs232_psb_set_power_control(5, 1); }, framed("PB21")},
      {"psb", [] { return velk_rs232_psb_set_usonic_max_dist(3); }, framed("SDU4")},
      {"drvb", [] { return zarn_rs232_drvb_set_servo(1); }, servo_on},
      {"drvb", [] { return zarn_rs232_drvb_set_velocity(200, -200); }, framed("BE200;-200")},
      {"drvb", [] { return zarn_rs232_drvb_set_velocity(0, 5); }, framed("BE;5")},
      {"drvb", [&] { return zarn_rs232_drvb_read_bumper_emg(&a, &b, &c); }, {0x02, 0x41, 0x41, 0x03, 0x03}},
      {"drvb", [&] { return zarn_rs232_drvb_read_encoder(&a, &b); }, {0x02, 0x41, 0x43, 0x30, 0x03, 0x31}},
      {"drvb", [] { return zarn_rs232_drvb_set_drive_err_reset(); }, {0x02, 0x43, 0x47, 0x03, 0x07}},
      {"drvb", [&] { return zarn_rs232_drvb_read_parameter(0, &a); }, framed("XL15")},
  };
  sim("received psb");
  sim("received drvb");
  for (const Case& test : cases) {
    SCOPED_TRACE(std::string(test.board) + " " +
                 std::string(test.request.begin() + 1, test.request.end() - 2));
    EXPECT_EQ(test.call(), 0);
    EXPECT_EQ(received_bytes(sim(std::string("received ") + test.board)), test.request);
  }
}

// Each fault the simulator puts on a reply fails the call it hits, or not,
// as the libraries' rules say; once cleared, the next call succeeds.
inline void run_fault_scenarios(const SimCommand& sim) {
  struct Case {
    const char* fault;  // the tavik-sim command
    const char* command;
    int result;
  };
  const Case cases[] = {
      {"fault psb Sar silence", "Sar", -1},
      {"fault psb Sar bcc", "Sar", -1},
      {"fault psb Sar noise 9", "Sar", 0},  // stray bytes ahead of STX are skipped
      {"fault psb Sar truncate", "Sar", -1},
      {"fault psb Sar delay 300", "Sar", -1},  // later than the time-out
      {"fault psb Sar delay 20", "Sar", 0},
      {"fault psb Sar drop 1", "Sar", -1},
      {"fault psb PDR silence", "PDR", -1},
      {"fault psb PDR bcc", "PDR", -1},
      {"fault psb PDR truncate", "PDR", -1},
      {"fault psb PDR noise 8", "PDR", 0},
      {"fault psb P status 1", "P", -1},
      {"fault psb P bcc", "P", -1},
      {"fault psb P noise 64", "P", 0},
      {"fault psb SDU silence", "SDU", -1},
      {"fault psb * bcc", "PDR", -1},
      {"fault drvb DB status", "DB", -1},
      {"fault drvb CZ silence", "CZ", 0},  // CZ's answer is not looked at
      {"fault drvb CZ status", "CZ", 0},
      {"fault drvb BE status 1", "BE", -1},
      {"fault drvb BE truncate", "BE", -1},
      {"fault drvb AA bcc", "AA", -1},
      {"fault drvb AA truncate", "AA", -1},
      {"fault drvb AA noise", "AA", 0},
      {"fault drvb AC status", "AC", -1},
      {"fault drvb AC delay 300", "AC", -1},
      {"fault drvb CG silence", "CG", -1},
      {"fault drvb XL bcc", "XL", -1},
      {"fault drvb XB status", "XB", -1},
      {"fault drvb XD status", "XD", -1},
      {"fault drvb XD status 4", "XD", 0},  // '4' counts as success
      {"fault drvb XD bcc", "XD", 0},       // after XB the board answers '4', accepted whatever follows
      {"fault drvb * silence", "AC", -1},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.fault);
    const std::function<int()> call = call_sending(test.command);
    ASSERT_EQ(call(), 0) << "before";
    ASSERT_EQ(sim(test.fault).rfind("ok:", 0), 0u);
    EXPECT_EQ(call(), test.result);
    EXPECT_EQ(sim("fault clear"), "ok: faults cleared");
    // A delayed reply still has to leave before the line is free again.
    if (std::string(test.fault).find("delay") != std::string::npos) {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    EXPECT_EQ(call(), 0) << "after clearing";
  }
}

}  // namespace tavik::test
