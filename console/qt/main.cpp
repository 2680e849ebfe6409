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
#include <string>
#include <variant>

#include "console/core/console_options.h"
#include "console/qt/console_app.h"
#include "console/qt/remembered_ports.h"
#include "console/qt/termination_signals.h"
#include "console/qt/toolkit_start.h"
#ifdef TAVIK_CONSOLE_SIMULATE
#include "sim/simulated_boards.h"
#endif
#include "console/res/version_info.h"

namespace {

// Options of the toolkit itself (-platform, -display, ...) are left to it.
constexpr tavik::console::ConsoleCommandLine kCommandLine{
    tavik::console::kSimulateOption | tavik::console::kScreenshotOption | tavik::console::kPrintLayoutOption,
    true};

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
  const auto parsed = tavik::console::parse_console_options(argc, argv, kCommandLine);
  if (const auto* error = std::get_if<std::string>(&parsed)) {
    std::fputs(error->c_str(), stderr);
    return 2;
  }
  const auto& parsed_options = std::get<tavik::console::ConsoleOptions>(parsed);
  if (const auto answered = tavik::console::answer_without_window(parsed_options, kCommandLine,
                                                                  tavik::console::version::kFileVersion))
    return *answered;
  const bool simulate = parsed_options.simulate;
  const bool print_layout = parsed_options.print_layout;

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
  if (!parsed_options.screenshot.empty())
    options.screenshot = QString::fromLocal8Bit(parsed_options.screenshot.c_str());
  return app.InitInstance(options);
}
