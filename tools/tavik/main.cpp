// tavik: the bench tool. Every board command from a shell, readings streamed
// with time stamps, and the reason for each failure.
#include <cstring>
#include <system_error>

#include "commands.h"
#include "stop_signals.h"

using namespace tavik::cli;

namespace {

// "drvb param get", from the subcommands the command line selected.
std::string command_path(const CLI::App& app) {
  std::string path;
  for (const CLI::App* sub = &app; !sub->get_subcommands().empty();) {
    sub = sub->get_subcommands().front();
    path += (path.empty() ? "" : " ") + sub->get_name();
  }
  return path;
}

bool asks_for_json(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  block_stop_signals();  // before the simulator or a probe starts a thread

  GlobalOptions options;
  CLI::App app{"tavik: the Tavik robot's boards from the command line", "tavik"};
  app.require_subcommand(1);
  app.fallthrough();  // the global options may also follow the command
  app.add_option("--psb", options.psb,
                 "power & sensor board port (COM<n>, a device path or a name under /dev)")
      ->capture_default_str();
  app.add_option("--drvb", options.drvb, "drive board port")->capture_default_str();
  app.add_option("--timeout", options.timeout_ms, "reply time-out in milliseconds")
      ->capture_default_str()
      ->check(CLI::Range(1, 60000));
  app.add_flag("--json", options.json, "JSON output (one object per line), errors in JSON too");
  app.add_flag("--simulate", options.simulate, "use the built-in board simulator instead of the ports");
  app.footer("Exit status: 0 success, 1 a board command failed, 2 usage, 3 a port could not be opened.");

  Runner run;
  add_psb_commands(app, run);
  add_drvb_commands(app, run);
  add_watch_command(app, run);
  add_ports_command(app, run);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    Output(asks_for_json(argc, argv)).usage_error(e.what());
    return kExitUsage;
  }

  Output out(options.json);
  const std::string command = command_path(app);
  try {
    Session session(options);
    return run(session, out);
  } catch (const CommandError& e) {
    out.error(command, e);
    return e.exit_code;
  } catch (const std::system_error& e) {
    out.error(command, CommandError(kExitOpenFailed, "start the simulator", Board::kPsb, "-", e.what()));
    return kExitOpenFailed;
  }
}
