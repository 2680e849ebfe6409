// tavik-sim as a program: it publishes its links, the library finds the
// boards through TAVIK_COM_DIR, it answers commands on its standard input,
// and it ends cleanly on end of input or a signal, removing its links.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "serial/transport/serial_port.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/processes/child_program.h"

namespace tavik::test {
namespace {

namespace fs = std::filesystem;
TEST(TavikSim, PublishesAnswersAndEndsCleanly) {
  enum class End { kEndOfInput, kInterrupt, kTerminate };
  for (End end : {End::kEndOfInput, End::kInterrupt, End::kTerminate}) {
    char pattern[] = "/tmp/tavik-sim-test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path made = fs::path(pattern) / "made";
    const fs::path dir = made / "here";  // made with its parent, removed at the end
    ChildProgram sim(TAVIK_SIM_PROGRAM,
                     {"--link-dir", dir.string(), "--psb", "COM3", "--drvb", "COM4", "--seed", "5"});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.line_starting("export "), "export TAVIK_COM_DIR=" + dir.string());
    EXPECT_TRUE(fs::is_symlink(dir / "COM3"));
    EXPECT_TRUE(fs::is_symlink(dir / "COM4"));

    ::setenv("TAVIK_COM_DIR", dir.c_str(), 1);
    ASSERT_EQ(zarn_rs232_psb_create("COM3", 200), 0);
    ASSERT_EQ(zarn_rs232_drvb_create("COM4", 200), 0);
    psb_power_data power{};
    EXPECT_EQ(zarn_rs232_psb_read_power(&power), 0);
    EXPECT_EQ(power.drive_state, 1);
    sim.send("emg on\n");
    EXPECT_EQ(sim.line_starting("ok:"), "ok: emergency stop on");
    int left = -1, right = -1, emergency = -1;
    EXPECT_EQ(zarn_rs232_drvb_read_bumper_emg(&left, &right, &emergency), 0);
    EXPECT_EQ(emergency, 1);
    sim.send("status\n");
    const std::string status_line = sim.line_starting("psb: /");
    EXPECT_NE(status_line.find("attached"), std::string::npos) << status_line;
    EXPECT_NE(status_line.find("PDR=1"), std::string::npos) << status_line;
    sim.send("fault psb Sar nonsense\n");
    EXPECT_EQ(sim.line_starting("error:"), "error: unknown fault kind nonsense");
    zarn_rs232_psb_destroy();
    zarn_rs232_drvb_destroy();

    switch (end) {
      case End::kEndOfInput:
        sim.close_input();
        break;
      case End::kInterrupt:
        sim.signal(SIGINT);
        break;
      case End::kTerminate:
        sim.signal(SIGTERM);
        break;
    }
    EXPECT_EQ(sim.wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM3")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM4")));
    EXPECT_FALSE(fs::exists(made));
    fs::remove(pattern);
  }
}

TEST(TavikSim, ControlPortAnswersAndShowsReceivedBytes) {
  char pattern[] = "/tmp/tavik-sim-test.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path dir = pattern;
  {
    ChildProgram sim(TAVIK_SIM_PROGRAM, {"--link-dir", dir.string(), "--control", "COM9"});
    ASSERT_TRUE(sim.started());
    sim.line_starting("export ");
    ASSERT_EQ(zarn_rs232_psb_create((dir / "COM7").c_str(), 200), 0);
    psb_power_data power{};
    EXPECT_EQ(zarn_rs232_psb_read_power(&power), 0);
    zarn_rs232_psb_destroy();

    SerialPort* control = serial_port_create((dir / "COM9").c_str(), 200);
    ASSERT_NE(control, nullptr);
    const std::string asks = "received psb\nreceived psb\nbump sideways\n";
    serial_port_write(control, reinterpret_cast<const std::uint8_t*>(asks.data()),
                      static_cast<int>(asks.size()));
    std::string answers;
    for (int i = 0; i < 20 && std::count(answers.begin(), answers.end(), '\n') < 3; ++i) {
      std::uint8_t chunk[256];
      const int n = serial_port_read(control, chunk, sizeof chunk);
      if (n > 0) answers.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(n));
    }
    serial_port_destroy(control);
    EXPECT_EQ(answers, "ok: 02 50 44 52 03 45\nok:\nerror: bump left|right|both|off\n");
    sim.close_input();
    EXPECT_EQ(sim.wait(), 0);
  }
  fs::remove(dir);
}

TEST(TavikSim, RefusesBadArgumentsAndExplainsItself) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--psb", "../COM7"},
                                             {"--psb", "COM8"},
                                             {"--control", "COM7"},
                                             {"--link-dir", "/dev/null/dir"},
                                             {"--seed", "x"},
                                             {"--bogus"}}) {
    ChildProgram sim(TAVIK_SIM_PROGRAM, args, true);
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.line().rfind("tavik-sim: ", 0), 0u) << args[0];
    EXPECT_EQ(sim.wait(), 2) << args[0];
  }
  struct Asked {
    const char* option;
    const char* line;  // the start of a line of the answer
  };
  for (const Asked& asked : {Asked{"--version", "tavik-sim 1."}, Asked{"--help", "  received psb|drvb"},
                             Asked{"--help", "  --control"}}) {
    ChildProgram sim(TAVIK_SIM_PROGRAM, {asked.option});
    ASSERT_TRUE(sim.started());
    EXPECT_NE(sim.line_starting(asked.line), "") << asked.option << " " << asked.line;
    EXPECT_EQ(sim.wait(), 0) << asked.option;
  }
}

}  // namespace
}  // namespace tavik::test
