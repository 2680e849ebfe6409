// The console ends cleanly on a termination signal: exit status 0, and the
// simulated boards' links are gone, whether the signal comes while the
// program starts or once its window is up.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <thread>

#include "child_program.h"

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
  struct Case { int signal; std::chrono::milliseconds after; };
  for (const Case c : {Case{SIGTERM, std::chrono::milliseconds(0)}, Case{SIGINT, std::chrono::milliseconds(1500)},
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

}  // namespace
}  // namespace tavik::test
