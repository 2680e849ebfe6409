// The console's --simulate (the boards it starts for itself) against a
// user's ports file that maps COM7 and COM8 to a robot on the network:
// Connect, Enable and Front move the simulated robot, and the robot's port
// is never connected to.
#include "console_fixture.h"
#include "sim/simulated_boards.h"
#include "tests/support/peers/counting_listener.h"
#include "tests/support/processes/ports_file_home.h"

namespace tavik::test {
namespace {

TEST_F(ConsoleTest, SimulateJogsTheSimulatedRobotWhateverThePortsFileMaps) {
  CountingListener robot;
  ASSERT_TRUE(robot.listening());
  PortsFileHome home("COM7 = " + robot.url() + "\nCOM8 = " + robot.url("rfc2217") + "\n");
  sim::SimulatedBoards boards;  // as the console's main starts them
  dlg().OnInitDialog();
  click(IDC_PSB_CONNECT);
  click(IDC_DRVB_CONNECT);
  ASSERT_TRUE(dlg().m_bPsbConnected && dlg().m_bDrvbConnected);
  click(IDC_ROBOT_CTRL_ENABLE);
  dlg().OnJogPressed(IDC_FRONT);
  EXPECT_TRUE(eventually([&] { return boards.simulator().status().velocity_left == 200; }));
  dlg().OnJogReleased();
  EXPECT_TRUE(eventually([&] { return boards.simulator().status().velocity_left == 0; }));
  // The Link panel names the simulator's COM names, with no address.
  for (const auto& [id, name] : {std::pair{IDC_LINK_PSB_PORT, "COM7"}, std::pair{IDC_LINK_DRVB_PORT, "COM8"}})
    EXPECT_TRUE(window_.wait_for([&](const WindowState& s) { return s.text(id) == name; })) << name;
  dlg().OnDestroy();
  EXPECT_EQ(robot.connections(), 0);
}

}  // namespace
}  // namespace tavik::test
