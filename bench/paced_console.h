// The console's logic against both simulated boards at the line rate, for
// the benchmarks that run it with every poller.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "console/core/console_dlg.h"
#include "console/core/control_ids.h"
#include "sim/simulator.h"

namespace tavik::bench {

// Both boards at the line rate as COM7 and COM8 in a private link
// directory, which the console's Connect finds through TAVIK_COM_DIR.
struct PacedBoards {
  static sim::SimulatorOptions options(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    ::setenv("TAVIK_COM_DIR", dir.c_str(), 1);
    sim::SimulatorOptions o;
    o.link_dir = dir;
    o.pace = true;
    return o;
  }
  ~PacedBoards() { std::filesystem::remove_all(dir); }
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tavik-bench-" + std::to_string(::getpid()));
  sim::Simulator sim{options(dir)};
};

// Both boards connected and every poller running.
inline void connect_with_every_poller(console::CConsoleDlg& dlg) {
  using namespace console;
  dlg.OnInitDialog();
  for (int id : {IDC_PSB_CONNECT, IDC_DRVB_CONNECT, IDC_USONIC_ENABLE, IDC_POWER_DATA_ENABLE,
                 IDC_ROBOT_CTRL_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) {
    dlg.OnCommand(id);
  }
}

}  // namespace tavik::bench
