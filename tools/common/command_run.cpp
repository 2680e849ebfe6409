#include "command_run.h"

#include <cstring>
#include <system_error>

#include "process.h"

namespace tavik::cli {

bool asks_for_json(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) return true;
  }
  return false;
}

int run_command(const GlobalOptions& options, const std::string& command, const Runner& run) {
  Output out(options.json);
  try {
    // Read when the first port is opened, before any thread starts.
    if (options.trace) set_environment("TAVIK_TRACE", "stderr");
    Session session(options);
    const int code = run(session, out);
    // A result that could not be written is no success.
    if (!out.failure().empty())
      throw CommandError(kExitCommandFailed, reason::kWriteFailed, "", std::nullopt, "", out.failure());
    return code;
  } catch (const CommandError& e) {
    out.error(command, e);
    return e.exit_code;
  } catch (const std::system_error& e) {
    out.error(command, CommandError(kExitOpenFailed, reason::kSimulatorFailed, "start the simulator",
                                    std::nullopt, "", e.what()));
    return kExitOpenFailed;
  }
}

}  // namespace tavik::cli
