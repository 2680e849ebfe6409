// The console ends cleanly on a termination signal: exit status 0, and the
// simulated boards' links are gone, whether the signal comes while the
// program starts or once its window is up. Its window fits its screen.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/processes/child_program.h"

namespace tavik::test {
namespace {

namespace fs = std::filesystem;

// "simulated boards: ... (DIR)" -> DIR
std::string link_dir_of(const std::string& line) {
  const auto open = line.rfind('(');
  const auto close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  return line.substr(open + 1, close - open - 1);
}

TEST(ConsoleProgram, EndsCleanlyOnTerminationSignals) {
  struct Case {
    int signal;
    std::chrono::milliseconds after;
  };
  for (const Case c :
       {Case{SIGTERM, std::chrono::milliseconds(0)}, Case{SIGINT, std::chrono::milliseconds(1500)},
        Case{SIGHUP, std::chrono::milliseconds(1500)}}) {
    SCOPED_TRACE(c.signal);
    ChildProgram console(TAVIK_CONSOLE_PROGRAM, {"--simulate"});
    ASSERT_TRUE(console.started());
    const fs::path dir = link_dir_of(console.line_starting("simulated boards:"));
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(fs::is_symlink(dir / "COM7"));
    EXPECT_TRUE(fs::is_symlink(dir / "COM8"));
    std::this_thread::sleep_for(c.after);
    console.signal(c.signal);
    EXPECT_EQ(console.wait(std::chrono::seconds(20)), 0);
    EXPECT_FALSE(fs::exists(dir));
  }
}

TEST(ConsoleProgram, WithoutADisplaySaysSoAndLeavesNothingBehind) {
  std::vector<std::pair<const char*, std::string>> saved;
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    if (const char* value = std::getenv(name)) saved.emplace_back(name, value);
    ::unsetenv(name);
  }
  ChildProgram console(TAVIK_CONSOLE_PROGRAM, {"--simulate"}, /*merge_errors=*/true);
  for (const auto& [name, value] : saved) ::setenv(name, value.c_str(), 1);
  ASSERT_TRUE(console.started());
  const fs::path dir = link_dir_of(console.line_starting("simulated boards:"));
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(console.line(),
            "tavik-v1-basic: cannot open a window: could not connect to display "
            "(neither DISPLAY nor WAYLAND_DISPLAY is set)");
  EXPECT_EQ(console.line(), "") << "one line";
  EXPECT_EQ(console.wait(std::chrono::seconds(20)), 1);
  EXPECT_FALSE(fs::exists(dir));
}

TEST(ConsoleProgram, WindowFitsItsScreenAtAnyScaleFactorWithEveryControlWholeAndWithinReach) {
  // A 1280x1024 screen, scaled by the toolkit: in its own pixels the window
  // has 1280x1024 divided by the factor, less the frame; and a 1024x600 one.
  // At 2.5 the font is at its smallest, where some texts are cut; at 3 the
  // window is larger than the screen even so, and scrolls its controls.
  struct Case {
    const char* screen;
    const char* scale;
    int room_width, room_height;
    bool whole, scrolls;
  };
  for (const Case c : {Case{TAVIK_TEST_SCREEN, "1", 1280, 1024, true, false},
                       Case{TAVIK_TEST_SCREEN, "2", 640, 512, true, false},
                       Case{TAVIK_TEST_SCREEN, "2.5", 512, 409, false, false},
                       Case{TAVIK_TEST_SCREEN, "3", 427, 341, false, true},
                       Case{TAVIK_TEST_SMALL_SCREEN, "1", 1024, 600, true, false}}) {
    SCOPED_TRACE(std::string(c.screen) + " at " + c.scale);
    ::setenv("QT_QPA_PLATFORM", (std::string("offscreen:configfile=") + c.screen).c_str(), 1);
    ::setenv("QT_SCALE_FACTOR", c.scale, 1);
    ChildProgram console(TAVIK_CONSOLE_PROGRAM, {"--print-layout"});
    ASSERT_TRUE(console.started());
    int right = 0, bottom = 0, scroll_x = 0, scroll_y = 0;
    std::string line = console.line();
    for (; !line.empty() && line.rfind("window ", 0) != 0; line = console.line()) {
      if (c.whole) {
        EXPECT_NE(line.rfind("cut ", 0), 0u) << "a text is cut (control, pixels): " << line;
      }
      EXPECT_NE(line.rfind("overlap ", 0), 0u) << "two controls cover each other: " << line;
      std::istringstream fields(line);
      if (line.rfind("scroll ", 0) == 0) {
        std::string word;
        fields >> word >> scroll_x >> scroll_y;
      } else if (int id, x, y, w, h;
                 std::isdigit(static_cast<unsigned char>(line[0])) && fields >> id >> x >> y >> w >> h) {
        right = std::max(right, x + w);
        bottom = std::max(bottom, y + h);
      }
    }
    std::istringstream window(line);
    std::string word;
    int x, y, width = 0, height = 0;
    window >> word >> x >> y >> width >> height;
    EXPECT_EQ(console.wait(std::chrono::seconds(20)), 0);
    EXPECT_GT(width, 0);
    EXPECT_LE(width, c.room_width - 16);
    EXPECT_LE(height, c.room_height - 48);
    EXPECT_EQ(scroll_x > 0 || scroll_y > 0, c.scrolls);
    // Every control within the window, or within reach of its scroll bars.
    EXPECT_LE(right, width + scroll_x);
    EXPECT_LE(bottom, height + scroll_y);
    // At scale 1 it has the template's font and is not made smaller.
    if (std::string(c.scale) == "1") {
      EXPECT_GT(width, 640);
    }
  }
  ::unsetenv("QT_SCALE_FACTOR");
  ::unsetenv("QT_QPA_PLATFORM");
}

}  // namespace
}  // namespace tavik::test
