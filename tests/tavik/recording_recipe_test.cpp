// The README's recipe for recording a drive with the simulator, line by
// line as a person types it into an interactive shell: the simulator in the
// background is not stopped by the terminal, and the watch drives while it
// records.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tavik_fixture.h"
#include "tests/support/processes/interactive_shell.h"

namespace tavik::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The lines of the README's shell block that follows `heading`.
std::vector<std::string> readme_block(const std::string& heading) {
  std::ifstream in(TAVIK_README);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  const std::size_t begin = all.find("```sh\n", all.find(heading)) + 6;
  std::istringstream block(all.substr(begin, all.find("```", begin) - begin));
  std::vector<std::string> lines;
  for (std::string line; std::getline(block, line);) lines.push_back(line);
  return lines;
}

TEST(RecordingRecipe, RunsAsTypedInAnInteractiveShell) {
  const std::vector<std::string> recipe = readme_block("To record a drive with the simulator");
  ASSERT_EQ(recipe.size(), 5u);
  const std::string home = make_com_dir();
  fs::create_directories(home + "/bin");
  fs::create_symlink(TAVIK_TOOL_PATH, home + "/bin/tavik");
  fs::create_symlink(TAVIK_SIM_PROGRAM, home + "/bin/tavik-sim");
  {
    InteractiveShell shell(home, home + "/bin:/usr/bin:/bin");
    ASSERT_TRUE(shell.started());
    ASSERT_TRUE(shell.wait_for("$ ", 1, 5s));
    for (std::size_t i = 0; i < recipe.size(); ++i) {
      SCOPED_TRACE(recipe[i]);
      shell.type(recipe[i]);
      // The next prompt; after the simulator's start, what it printed, as a person reads it.
      ASSERT_TRUE(shell.wait_for("$ ", static_cast<int>(i) + 2, 30s)) << shell.screen();
      if (i == 0) {
        ASSERT_TRUE(shell.wait_for("Ctrl-D or Ctrl-C ends", 1, 5s)) << shell.screen();
      }
    }
    for (int i = 0; i < 50 && fs::exists(home + "/tavik-sim"); ++i) std::this_thread::sleep_for(100ms);
    const std::string screen = shell.screen();
    EXPECT_EQ(screen.find("Stopped"), std::string::npos) << screen;  // by the terminal (SIGTTIN)
    EXPECT_NE(screen.find("servo: on"), std::string::npos) << screen;
    EXPECT_NE(screen.find("watch: drive 200,150 mm/s: "), std::string::npos) << screen;
    EXPECT_NE(screen.find(" (time), counts "), std::string::npos) << screen;
    EXPECT_EQ(screen.find("tavik: "), std::string::npos) << screen;  // no command failed
    EXPECT_FALSE(fs::exists(home + "/tavik-sim")) << "the simulator ended, with its links";
  }
  EXPECT_GT(fs::file_size(home + "/run.mcap"), 1000u);
  fs::remove_all(home);
}

}  // namespace
}  // namespace tavik::test
