// tavik-bridge: one robot on an MQTT broker (bridge.h); `tavik bridge` runs
// it. Its errors name the command "bridge", as the tool's do.
#include "bridge.h"
#include "command_run.h"
#include "global_options.h"
#include "number_check.h"
#include "process.h"
#include "tavik_version.h"

using namespace tavik::cli;

namespace {

// What is wrong with the arguments left over: an unknown option, or a stray argument.
std::string leftover(const std::vector<std::string>& rest) {
  for (const std::string& arg : rest) {
    if (arg.size() > 1 && arg[0] == '-' && !read_decimal(arg, false)) return "unknown option '" + arg + "'";
  }
  return "unexpected argument '" + (rest.empty() ? std::string() : rest.front()) + "' after 'tavik bridge'";
}

}  // namespace

int main(int argc, char** argv) {
  keep_standard_streams();
  block_stop_signals();  // before the simulator, the broker's or the drive's thread starts

  GlobalOptions options;
  BridgeArgs args;
  CLI::App app{kBridgeSummary, "tavik-bridge"};
  // As most Unix tools do: an option given twice takes its last value.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.set_version_flag("-V,--version", std::string("tavik-bridge ") + TAVIK_VERSION);
  add_global_options(app, options);
  add_bridge_options(app, args);
  app.footer(
      "Exit status: 0 success, 1 the broker refused the connection (or --send-stop's stop failed), 2 usage, "
      "3 "
      "--send-stop's port could not be opened (the bridge itself tries a port again every 2 s), 4 another "
      "bridge runs under the name, 128 + N after signal N; man tavik (BRIDGE) has the topics.");
  const bool json = asks_for_json(argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help, --help-all, --version
    return app.exit(e);
  } catch (const CLI::ExtrasError&) {
    Output(json).error("bridge", CommandError::usage(leftover(app.remaining(true))));
    return kExitUsage;
  } catch (const CLI::ParseError& e) {
    Output(json).error("bridge", CommandError::usage(e.what()));
    return kExitUsage;
  }
  return run_command(options, "bridge",
                     [&args](Session& session, Output& out) { return run_bridge(session, out, args); });
}
