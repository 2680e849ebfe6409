// A console window that shows nothing, for measuring the console's logic
// alone. The port lists answer COM7 for the PSB and COM8 for the DRVB.
#pragma once

#include <string>

#include "console/core/console_window.h"
#include "console/core/control_ids.h"

namespace tavik::bench {

class NullWindow : public console::ConsoleWindow {
 public:
  void EnableControl(int, bool) override {}
  void SetControlText(int, const std::string&) override {}
  int GetListSelection(int id) override { return id == console::IDC_PSB_PORT ? 6 : 7; }
  void SetListSelection(int, int) override {}
  void InsertListItem(int, int, const std::string&) override {}
  void SetProgressRange(int, int, int) override {}
  void SetProgressPos(int, int) override {}
  void ShowMessage(const std::string&) override {}
  std::string GetWriteParamText() override { return {}; }
};

}  // namespace tavik::bench
