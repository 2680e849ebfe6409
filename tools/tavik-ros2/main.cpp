// tavik-ros2: the robot as a ROS 2 node on Cyclone DDS (node.h). Its errors
// name the command "ros2", as the tool's name theirs.
#include "command_run.h"
#include "global_options.h"
#include "node.h"
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
  return "unexpected argument '" + (rest.empty() ? std::string() : rest.front()) + "'";
}

}  // namespace

int main(int argc, char** argv) {
  keep_standard_streams();
  block_stop_signals();  // before the simulator, DDS or the drive start a thread

  GlobalOptions options;
  Ros2Args args;
  CLI::App app{kRos2Summary, "tavik-ros2"};
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.set_version_flag("-V,--version", std::string("tavik-ros2 ") + TAVIK_VERSION);
  add_global_options(app, options);
  add_ros2_options(app, args);
  app.footer(
      "Exit status: 0 success, 1 DDS did not start (or --send-stop's stop failed), 2 usage, 3 --send-stop's "
      "port could not be opened (the node itself tries a port again every 2 s), 128 + N after signal N; man "
      "tavik-ros2 has the topics.");
  const bool json = asks_for_json(argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help, --version
    return app.exit(e);
  } catch (const CLI::ExtrasError&) {
    Output(json).error("ros2", CommandError::usage(leftover(app.remaining(true))));
    return kExitUsage;
  } catch (const CLI::ParseError& e) {
    Output(json).error("ros2", CommandError::usage(e.what()));
    return kExitUsage;
  }
  return run_command(options, "ros2",
                     [&args](Session& session, Output& out) { return run_node(session, out, args); });
}
