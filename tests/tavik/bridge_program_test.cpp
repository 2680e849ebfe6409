// tavik bridge runs tavik-bridge: the same help, the same errors and exit
// codes, and a clear error when tavik-bridge is nowhere to be found.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <filesystem>

#include "tavik_fixture.h"

namespace tavik::test {
namespace {

struct Ran {
  int exit_code;
  std::string out;  // standard output and error
};

// A command line through the shell, its output and exit code.
Ran run_shell(const std::string& command) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return {-1, ""};
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out};
}

TEST(TavikBridgeProgram, TavikBridgeIsTavikBridgesProgram) {
  const std::string tavik = TAVIK_TOOL_PATH, bridge = TAVIK_BRIDGE_PATH;
  struct Case {
    const char* args;
    int exit_code;
    const char* says;
  };
  const Case cases[] = {
      {"--help", 0, "--dead-man"},
      {"--version", 0, "tavik-bridge "},
      {"--json --broker tcp://x:1 --name r1", 2, R"("command":"bridge","reason":"usage")"},
      {"--broker mqtt://x --name a/b", 2, "cannot be part of a topic"},
      {"--broker mqtt://x --name r1 --bogus", 2, "unknown option '--bogus'"},
      {"--broker mqtt://x", 2, "--name is required"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const Ran direct = run_shell(bridge + " " + c.args);
    EXPECT_EQ(direct.exit_code, c.exit_code) << direct.out;
    EXPECT_NE(direct.out.find(c.says), std::string::npos) << direct.out;
    // The word bridge wherever the command line has it, after the global options too.
    for (const std::string& through :
         {tavik + " bridge " + c.args, tavik + " --timeout 100 bridge " + c.args}) {
      const Ran ran = run_shell(through);
      EXPECT_EQ(ran.exit_code, direct.exit_code) << through;
      EXPECT_EQ(ran.out, direct.out) << through;
    }
  }
}

TEST(TavikBridgeProgram, SaysSoWhenTavikBridgeIsNowhere) {
  const std::string dir = make_com_dir();
  ASSERT_FALSE(dir.empty());
  const std::string alone = dir + "/tavik";
  std::filesystem::copy_file(TAVIK_TOOL_PATH, alone);
  std::filesystem::permissions(alone, std::filesystem::perms::owner_all);
  const Ran ran = run_shell("PATH=" + dir + " " + alone + " --json bridge --broker mqtt://x --name r1");
  EXPECT_EQ(ran.exit_code, 1) << ran.out;
  EXPECT_NE(ran.out.find(R"("reason":"program-missing")"), std::string::npos) << ran.out;
  EXPECT_NE(ran.out.find("tavik-bridge"), std::string::npos) << ran.out;
  // Only bridge needs it.
  EXPECT_EQ(run_shell("PATH=" + dir + " " + alone + " help bridge").exit_code, 0);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

}  // namespace
}  // namespace tavik::test
