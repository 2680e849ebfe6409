#include "bridge_program.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "bridge_options.h"
#include "commands.h"

namespace tavik::cli {
namespace {

// This program's folder, from /proc/self/exe; "" when it cannot be read.
std::string own_folder() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return "";
  path.resize(static_cast<std::size_t>(n));
  return path.substr(0, path.rfind('/'));
}

}  // namespace

void add_bridge_command(CLI::App& app) {
  // Only help and completion read it: the command line that selects it runs tavik-bridge.
  static BridgeArgs args;
  add_bridge_options(*app.add_subcommand("bridge", std::string(kBridgeSummary) + " (runs tavik-bridge)"),
                     args);
}

int bridge_word(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") return 0;
    if (word.size() > 1 && word[0] == '-') {
      const CLI::Option* option = app.get_option_no_throw(word);
      if (option == nullptr) continue;  // --psb=X, or an option tavik refuses after the command
      if (option->get_lnames() == std::vector<std::string>{"help"} ||
          option->get_lnames() == std::vector<std::string>{"version"})
        return 0;
      if (option->get_items_expected_max() > 0) ++i;  // its value
      continue;
    }
    return word == "bridge" ? i : 0;
  }
  return 0;
}

int run_bridge_program(int argc, char** argv, int word, bool json) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (i != word) args.push_back(argv[i]);
  }
  args.push_back(nullptr);
  const std::string folder = own_folder();
  const std::string beside = folder.empty() ? "" : folder + "/" + kBridgeProgram;
  if (!beside.empty() && ::access(beside.c_str(), X_OK) == 0) {
    args[0] = const_cast<char*>(beside.c_str());
    ::execv(beside.c_str(), args.data());
  }
  const int beside_error = errno;
  args[0] = const_cast<char*>(kBridgeProgram);
  ::execvp(kBridgeProgram, args.data());
  const int path_error = errno;
  const std::string detail =
      std::string("cannot run ") + kBridgeProgram + ": " +
      (path_error == ENOENT && (beside.empty() || beside_error == ENOENT || beside_error == 0)
           ? "it is neither beside " + (folder.empty() ? std::string("tavik") : folder + "/tavik") +
                 " nor on PATH (install the tavik-tools package)"
           : std::system_category().message(path_error));
  Output(json).error("bridge",
                     CommandError(kExitCommandFailed, reason::kProgramMissing, "", std::nullopt, "", detail));
  return kExitCommandFailed;
}

}  // namespace tavik::cli
