// The console's command line, as both views' programs read it.
#include "console/core/console_options.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

namespace tavik::console {
namespace {

constexpr ConsoleCommandLine kLinux{kSimulateOption | kScreenshotOption | kPrintLayoutOption, true};
constexpr ConsoleCommandLine kWindows{kLayoutOption, false};

using Action = ConsoleOptions::Action;

TEST(ConsoleOptions, ArgumentsGiveTheirOptionsOrTheError) {
  struct Case {
    const char* what;
    const ConsoleCommandLine& line;
    std::vector<const char*> args;
    ConsoleOptions options;  // action, simulate, print_layout, screenshot, layout
    std::string error;       // its first line; empty: none
  };
  const ConsoleOptions run{Action::kRun, false, false, "", ""};
  const Case cases[] = {
      {"nothing", kLinux, {}, run, ""},
      {"every Linux option",
       kLinux,
       {"--simulate", "--print-layout", "--screenshot", "a.png"},
       {Action::kRun, true, true, "a.png", ""},
       ""},
      {"the toolkit's own options",
       kLinux,
       {"-platform", "offscreen", "--simulate"},
       {Action::kRun, true, false, "", ""},
       ""},
      {"the Windows layout",
       kWindows,
       {"--layout", "layout.txt"},
       {Action::kRun, false, false, "", "layout.txt"},
       ""},
      {"version first", kLinux, {"--version", "--bogus"}, {Action::kVersion, false, false, "", ""}, ""},
      {"help", kWindows, {"--help"}, {Action::kHelp, false, false, "", ""}, ""},
      {"-h", kLinux, {"-h", "--screenshot"}, {Action::kHelp, false, false, "", ""}, ""},
      {"an unknown option", kLinux, {"--bogus"}, run, "tavik-v1-basic: unknown option --bogus"},
      {"an error before --version",
       kWindows,
       {"--bogus", "--version"},
       run,
       "tavik-v1-basic: unknown option --bogus"},
      {"another view's option", kWindows, {"--simulate"}, run, "tavik-v1-basic: unknown option --simulate"},
      {"the Windows layout on Linux",
       kLinux,
       {"--layout", "x"},
       run,
       "tavik-v1-basic: unknown option --layout"},
      {"a word where the toolkit has none",
       kWindows,
       {"layout.txt"},
       run,
       "tavik-v1-basic: unknown option layout.txt"},
      {"a file name missing",
       kLinux,
       {"--screenshot"},
       run,
       "tavik-v1-basic: --screenshot needs a file name"},
      {"the layout's file name missing",
       kWindows,
       {"--layout"},
       run,
       "tavik-v1-basic: --layout needs a file name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto parsed = parse_console_options(c.args, c.line);
    if (!c.error.empty()) {
      ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
      const std::string& error = std::get<std::string>(parsed);
      EXPECT_EQ(error, c.error + "\n" + console_usage(c.line));
      continue;
    }
    ASSERT_TRUE(std::holds_alternative<ConsoleOptions>(parsed)) << std::get<std::string>(parsed);
    const ConsoleOptions& options = std::get<ConsoleOptions>(parsed);
    EXPECT_EQ(options.action, c.options.action);
    EXPECT_EQ(options.simulate, c.options.simulate);
    EXPECT_EQ(options.print_layout, c.options.print_layout);
    EXPECT_EQ(options.screenshot, c.options.screenshot);
    EXPECT_EQ(options.layout, c.options.layout);
  }
}

TEST(ConsoleOptions, UsageNamesEachOfferedOptionInAColumn) {
  EXPECT_EQ(console_usage(kWindows),
            "usage: tavik-v1-basic [--layout FILE] [--version] [--help]\n"
            "  --layout FILE  write each control's ID, x, y, width and height in screen pixels to FILE\n"
            "  --version      print the version, then exit\n");
  EXPECT_EQ(console_usage(kLinux),
            "usage: tavik-v1-basic [--simulate] [--screenshot FILE] [--print-layout] [--version] [--help]\n"
            "  --simulate         run both boards simulated: PSB as COM7, DRVB as COM8\n"
            "  --screenshot FILE  save a picture of the window to FILE as it closes (and of the Trends\n"
            "                     window, when open, to NAME-trends.EXT beside it)\n"
            "  --print-layout     print each control's ID, x, y, width and height in pixels, and the\n"
            "                     window's client area as \"window 0 0 WIDTH HEIGHT\", then exit\n"
            "  --version          print the version, then exit\n");
}

}  // namespace
}  // namespace tavik::console
