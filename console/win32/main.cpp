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
#include <string_view>

#include "console/res/version_info.h"
#include "console/win32/console_dialog.h"
#include "packaging/windows/running_mutex.h"

namespace {

constexpr const char* kUsage =
    "usage: tavik-v1-basic [--layout FILE] [--version] [--help]\n"
    "  --layout FILE  write each control's ID, x, y, width and height in screen pixels to FILE\n"
    "  --version      print the version, then exit\n";

}  // namespace

int main(int argc, char** argv) {
  std::string layout;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--version") {
      std::printf("%s\n", tavik::console::version::kFileVersion.data());
      return 0;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--layout" && i + 1 < argc) {
      layout = argv[++i];
    } else {
      // A console window's user may have none to read the standard error in.
      const std::string text = "tavik-v1-basic: unknown option " + std::string(arg) + "\n\n" + kUsage;
      std::fputs(text.c_str(), stderr);
      ::MessageBoxA(nullptr, text.c_str(), "Tavik V1 Basic", MB_OK | MB_ICONERROR);
      return 2;
    }
  }

  tavik::hold_running_mutex();
  // Version 6 of the common controls, as the program's manifest asks.
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                      ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  tavik::console::ConsoleDialog dialog(::GetModuleHandleW(nullptr), layout);
  if (dialog.DoModal() == -1) {
    std::fprintf(stderr, "tavik-v1-basic: the window could not be created (error %lu)\n", ::GetLastError());
    return 1;
  }
  return 0;
}
