// tavik-v1-basic.exe: the operator console of the robot base's bench, the
// native Windows dialog.
//
//   tavik-v1-basic                connect to the boards through the lists' ports
//   tavik-v1-basic --layout FILE  write each control's ID and rectangle in screen
//                                 pixels to FILE once the window is up
//   tavik-v1-basic --version
#include <windows.h>
//
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <variant>

#include "console/core/console_options.h"
#include "console/res/version_info.h"
#include "console/win32/console_dialog.h"
#include "packaging/windows/running_mutex.h"

namespace {

constexpr tavik::console::ConsoleCommandLine kCommandLine{tavik::console::kLayoutOption, false};

}  // namespace

int main(int argc, char** argv) {
  const auto parsed = tavik::console::parse_console_options(argc, argv, kCommandLine);
  if (const auto* error = std::get_if<std::string>(&parsed)) {
    // A console window's user may have none to read the standard error in.
    std::fputs(error->c_str(), stderr);
    ::MessageBoxA(nullptr, error->c_str(), "Tavik V1 Basic", MB_OK | MB_ICONERROR);
    return 2;
  }
  const auto& options = std::get<tavik::console::ConsoleOptions>(parsed);
  if (const auto answered =
          tavik::console::answer_without_window(options, kCommandLine, tavik::console::version::kFileVersion))
    return *answered;

  tavik::hold_running_mutex();
  // Version 6 of the common controls, as the program's manifest asks.
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                      ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  tavik::console::ConsoleDialog dialog(::GetModuleHandleW(nullptr), options.layout);
  if (dialog.DoModal() == -1) {
    std::fprintf(stderr, "tavik-v1-basic: the window could not be created (error %lu)\n", ::GetLastError());
    return 1;
  }
  return 0;
}
