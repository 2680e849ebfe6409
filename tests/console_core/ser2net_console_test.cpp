// The console's Connect on COM7 and COM8 mapped to ser2net's ports in the
// user's ports file, its pollers running while ser2net restarts.
#include <filesystem>
#include <fstream>

#include "console_fixture.h"
#include "sim/simulator.h"
#include "tests/support/servers/ser2net_server.h"

namespace tavik::test {
namespace {

class Ser2netConsoleTest : public ConsoleTest {
 protected:
  void SetUp() override {
    if (!Ser2net::installed()) GTEST_SKIP() << "ser2net is not installed (scripts/setup-deps)";
    ASSERT_TRUE(server_.start());
    const std::string home = link_dir_ + "/home";
    std::filesystem::create_directories(home + "/.config/tavik");
    std::ofstream(home + "/.config/tavik/ports") << "COM7 = " << server_.url(Ser2net::kPsbRfc2217) << "\n"
                                                 << "COM8 = " << server_.url(Ser2net::kDrvbTcp) << "\n";
    ::setenv("HOME", home.c_str(), 1);
    // The ports file is read only without a simulator's link folder.
    ::unsetenv("TAVIK_COM_DIR");
  }
  void TearDown() override {
    if (Ser2net::installed()) dlg().OnDestroy();
    ConsoleTest::TearDown();
  }
  bool shows(int id, const std::string& text) {
    return window_.wait_for([&](const WindowState& s) { return s.text(id) == text; });
  }

  sim::Simulator sim_{sim::SimulatorOptions{link_dir_}};
  Ser2net server_{link_dir_, sim_.psb_path(), sim_.drvb_path()};
};

TEST_F(Ser2netConsoleTest, ConnectReachesMappedPortsAndThePollersOutliveARestart) {
  start_everything();
  const struct {
    int port, state, failure, reopened;
    std::string shown;
  } boards[] = {
      {IDC_LINK_PSB_PORT, IDC_LINK_PSB_STATE, IDC_LINK_PSB_FAILURE, IDC_LINK_PSB_REOPENED,
       "COM7 = " + server_.url(Ser2net::kPsbRfc2217)},
      {IDC_LINK_DRVB_PORT, IDC_LINK_DRVB_STATE, IDC_LINK_DRVB_FAILURE, IDC_LINK_DRVB_REOPENED,
       "COM8 = " + server_.url(Ser2net::kDrvbTcp)},
  };
  for (const auto& b : boards) {
    EXPECT_TRUE(shows(b.port, b.shown)) << b.shown;
    EXPECT_TRUE(shows(b.state, "answering")) << b.shown;
  }
  server_.stop();
  for (const auto& b : boards) {
    EXPECT_TRUE(shows(b.state, "port lost, reopening")) << b.shown;
    EXPECT_TRUE(shows(b.failure, "connection lost")) << b.shown;
  }
  ASSERT_TRUE(server_.start());
  for (const auto& b : boards) {
    EXPECT_TRUE(shows(b.state, "answering")) << b.shown;
    EXPECT_TRUE(shows(b.reopened, "1")) << b.shown;
  }
}

}  // namespace
}  // namespace tavik::test
