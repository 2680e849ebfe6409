// The simulator's COM names against a user's ports file that maps the same
// names to a robot on the network: --simulate and a tavik-sim's
// TAVIK_COM_DIR always reach the simulated boards, and the robot is never
// connected to.
#include "tavik_fixture.h"
#include "tests/support/peers/counting_listener.h"
#include "tests/support/processes/ports_file_home.h"

namespace tavik::test {
namespace {

TEST_F(TavikTool, SimulatedNamesNeverReachThePortsFile) {
  CountingListener robot;
  ASSERT_TRUE(robot.listening());
  PortsFileHome home("COM7 = " + robot.url() + "\nCOM8 = " + robot.url() + "  # the robot\n");
  const struct {
    std::vector<std::string> args;
    bool simulate;  // else the fixture's boards, as tavik-sim's export finds them
  } cases[] = {
      {{"--simulate", "--json", "drvb", "servo", "on"}, true},
      {{"--simulate", "--json", "drvb", "status"}, true},
      {{"--simulate", "--json", "psb", "status"}, true},
      {{"--simulate", "--json", "ports"}, true},
      {{"--json", "drvb", "status"}, false},
      {{"--json", "ports"}, false},
  };
  for (const auto& c : cases) {
    const Finished f = run_tavik(c.args);
    const std::string what = c.args[c.simulate ? 2 : 1];
    EXPECT_EQ(f.exit_code, 0) << what << f.err;
    EXPECT_EQ(robot.connections(), 0) << what;
    EXPECT_EQ(f.out.find(robot.url()), std::string::npos) << what << f.out;
    if (what == "ports") continue;
    // The record names what the COM name led to: a link of the simulator's.
    const Json record = last_json(f.out);
    const std::string target = record.value("target", "");
    EXPECT_EQ(target.substr(target.rfind('/') + 1), record.value("port", "?")) << f.out;
    if (!c.simulate) {
      EXPECT_EQ(target, com_dir_ + "/" + record.value("port", "?")) << f.out;
    }
  }
  // Without a simulator the file is in force: the same name reaches the
  // listener, and the failure names where it led.
  ::unsetenv("TAVIK_COM_DIR");
  const Finished f = run_tavik({"--json", "--timeout", "100", "drvb", "status"});
  EXPECT_EQ(f.exit_code, 1) << f.err;
  EXPECT_GE(robot.connections(), 1);
  EXPECT_EQ(last_json(f.err).at("error").value("target", ""), robot.url()) << f.err;
}

}  // namespace
}  // namespace tavik::test
