// tavik-v1-basic: the operator console of the robot base's bench.
//
//   tavik-v1-basic                    connect to the boards through the lists' ports
//   tavik-v1-basic --simulate         with both boards simulated as COM7 and COM8
//   tavik-v1-basic --screenshot FILE  save a picture of the window as it closes
//   tavik-v1-basic --print-layout     print the controls' IDs and places in pixels
//   tavik-v1-basic --version
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>

#include "console/qt/console_app.h"
#include "console/qt/remembered_ports.h"
#include "console/qt/termination_signals.h"
#include "console/qt/toolkit_start.h"
#ifdef TAVIK_CONSOLE_SIMULATE
#include "sim/simulated_boards.h"
#endif
#include "console/res/version_info.h"

namespace {

constexpr const char* kUsage =
    "usage: tavik-v1-basic [--simulate] [--screenshot FILE] [--print-layout] [--version] [--help]\n"
    "  --simulate         run both boards simulated: PSB as COM7, DRVB as COM8\n"
    "  --screenshot FILE  save a picture of the window to FILE as it closes (and of the Trends\n"
    "                     window, when open, to NAME-trends.EXT beside it)\n"
    "  --print-layout     print each control's ID, x, y, width and height in pixels, and the\n"
    "                     window's client area as \"window 0 0 WIDTH HEIGHT\", then exit\n"
    "  --version          print the version, then exit\n";

}  // namespace

#if defined(__SANITIZE_THREAD__)
// In a ThreadSanitizer build: Qt is not built with the sanitizer, so its own
// thread pools and posted events look like races. Leave its code out of the
// checks; everything built here stays checked.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}
#endif

int main(int argc, char** argv) {
  tavik::console::catch_termination_signals();
  bool simulate = false;
  bool print_layout = false;
  const char* screenshot = nullptr;
  // Options of the toolkit itself (-platform, -display, ...) are left to it.
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--version") {
      std::printf("%s\n", tavik::console::version::kFileVersion.data());
      return 0;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--simulate") {
      simulate = true;
    } else if (arg == "--print-layout") {
      print_layout = true;
    } else if (arg == "--screenshot") {
      if (i + 1 == argc) {
        std::fprintf(stderr, "tavik-v1-basic: --screenshot needs a file name\n%s", kUsage);
        return 2;
      }
      screenshot = argv[++i];
    } else if (arg.starts_with("--")) {
      std::fprintf(stderr, "tavik-v1-basic: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    }
  }

#ifdef TAVIK_CONSOLE_SIMULATE
  // The simulated boards change the environment, so they start before the
  // toolkit starts any thread.
  std::unique_ptr<tavik::sim::SimulatedBoards> boards;
  if (simulate && !print_layout) {
    try {
      boards = std::make_unique<tavik::sim::SimulatedBoards>();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tavik-v1-basic: cannot start the simulated boards: %s\n", e.what());
      return 1;
    }
    std::printf("simulated boards: power & sensor board on COM7, drive board on COM8 (%s)\n",
                boards->com_dir().c_str());
    tavik::console::keep_remembered_ports(false);
    std::fflush(stdout);
  }
#else
  if (simulate) {
    std::fprintf(stderr,
                 "tavik-v1-basic: --simulate needs the board simulator, not built on this platform\n");
    return 2;
  }
#endif

  tavik::console::ToolkitStart toolkit([&] {
#ifdef TAVIK_CONSOLE_SIMULATE
    boards.reset();
#endif
  });
  QApplication application(argc, argv);
  toolkit.started();
  if (print_layout) {
    tavik::console::CConsoleApp::PrintLayout();
    return 0;
  }
  tavik::console::CConsoleApp app;
  tavik::console::CConsoleApp::Options options;
  if (screenshot) options.screenshot = QString::fromLocal8Bit(screenshot);
  return app.InitInstance(options);
}
