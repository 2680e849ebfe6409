// The console's logic connected to both simulated boards (COM7 and COM8)
// through the real libraries.
#pragma once

#include "console_fixture.h"
#include "sim/simulator.h"

namespace tavik::test {

class SimConsoleTest : public ConsoleTest {
 protected:
  void SetUp() override {
    dlg().OnInitDialog();
    click(IDC_PSB_CONNECT);
    click(IDC_DRVB_CONNECT);
    ASSERT_TRUE(dlg().m_bPsbConnected && dlg().m_bDrvbConnected);
  }
  void TearDown() override {
    dlg().OnDestroy();
    ConsoleTest::TearDown();
  }
  bool shows(int id, const std::string& text) {
    return window_.wait_for([&](const WindowState& s) { return s.text(id) == text; });
  }
  bool shows_start(int id, const std::string& prefix) {
    return window_.wait_for([&](const WindowState& s) { return s.text(id).rfind(prefix, 0) == 0; });
  }
  bool status(const std::function<bool(const sim::SimStatus&)>& pred) {
    return eventually([&] { return pred(sim_.status()); });
  }

  sim::Simulator sim_{sim::SimulatorOptions{link_dir_}};
};

}  // namespace tavik::test
