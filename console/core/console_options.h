// The console's command line, read alike by both views' programs: one table
// of options, of which each view offers those it can carry out; the same
// usage text and the same errors.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace tavik::console {

// The options a view may offer besides --version and --help.
enum ConsoleOption : unsigned {
  kSimulateOption = 1u << 0,     // --simulate
  kScreenshotOption = 1u << 1,   // --screenshot FILE
  kPrintLayoutOption = 1u << 2,  // --print-layout
  kLayoutOption = 1u << 3,       // --layout FILE
};

// What a view's program takes.
struct ConsoleCommandLine {
  unsigned offered = 0;  // ConsoleOption bits
  // Arguments that do not start with "--" (but -h) are the toolkit's own
  // (-platform, -display, ...) and are left to it; else they are refused.
  bool toolkit_arguments = false;
};

struct ConsoleOptions {
  enum class Action { kRun, kVersion, kHelp };
  // --version and --help end the reading: what follows them is not looked at.
  Action action = Action::kRun;
  bool simulate = false;
  bool print_layout = false;
  std::string screenshot;  // empty: none
  std::string layout;      // empty: none
};

// "usage: tavik-v1-basic ..." and a line for each option `line` offers.
std::string console_usage(const ConsoleCommandLine& line);

// The options of `args` (argv without the program's name), or the error's
// text: "tavik-v1-basic: unknown option --x" and the usage after it.
std::variant<ConsoleOptions, std::string> parse_console_options(std::span<const char* const> args,
                                                                const ConsoleCommandLine& line);
// The same for main's arguments.
std::variant<ConsoleOptions, std::string> parse_console_options(int argc, const char* const* argv,
                                                                const ConsoleCommandLine& line);

// For --version and --help: prints the version or the usage on standard
// output and gives the exit code (0); nothing when the window is to start.
std::optional<int> answer_without_window(const ConsoleOptions& options, const ConsoleCommandLine& line,
                                         std::string_view version);

}  // namespace tavik::console
