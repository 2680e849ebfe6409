// tavik: the bench tool. Every board command from a shell, readings streamed
// with time stamps, and the reason for each failure.
#include <cstdlib>
#include <cstring>

#include "bridge_program.h"
#include "command_run.h"
#include "commands.h"
#include "completion.h"
#include "number_check.h"
#include "process.h"
#include "tavik_version.h"
#ifdef _WIN32
#include "packaging/windows/running_mutex.h"
#endif

using namespace tavik::cli;

namespace {

// The selected command's chain of subcommands, the program first.
std::vector<const CLI::App*> selected(const CLI::App& app) {
  std::vector<const CLI::App*> chain{&app};
  while (!chain.back()->get_subcommands().empty()) chain.push_back(chain.back()->get_subcommands().front());
  return chain;
}

// "drvb param get", from the subcommands the command line selected.
std::string command_path(const CLI::App& app) {
  std::string path;
  for (const CLI::App* sub : selected(app)) {
    if (sub != &app) path += (path.empty() ? "" : " ") + sub->get_name();
  }
  return path;
}

// "status, power or max-dist": the commands a command offers.
std::string offered(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::App* sub : command.get_subcommands([](const CLI::App*) { return true; }))
    names.push_back(sub->get_name());
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i)
    text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  return text;
}

bool has_commands(const CLI::App& command) {
  return !command.get_subcommands([](const CLI::App*) { return true; }).empty();
}

// For arguments left over (or a command missing) after the last command the
// line selected: an unknown command named, or a stray argument.
std::string leftover_message(const CLI::App& app) {
  const CLI::App& last = *selected(app).back();
  const std::string path = command_path(app);
  const std::string tavik = path.empty() ? "tavik" : "tavik " + path;
  const std::vector<std::string> rest = app.remaining(true);
  // An option no command knows, wherever it stood, is what went wrong.
  for (const std::string& arg : rest) {
    if (arg.size() > 1 && arg[0] == '-' && !read_decimal(arg, false)) return "unknown option '" + arg + "'";
  }
  if (!has_commands(last))
    return "unexpected argument '" + (rest.empty() ? std::string() : rest.front()) + "' after '" + tavik +
           "'";
  if (rest.empty()) return "'" + tavik + "' needs a command: " + offered(last);
  return "unknown command '" + rest.front() + "'" + (path.empty() ? "" : " for '" + tavik + "'") +
         " (one of: " + offered(last) + ")";
}

}  // namespace

// Windows has no manual pages.
#ifdef _WIN32
constexpr const char* kAllCommands = "; 'tavik help' lists them all.";
#else
constexpr const char* kAllCommands = "; man tavik has them all.";
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  tavik::hold_running_mutex();
#endif
  keep_standard_streams();
  block_stop_signals();  // before the simulator or a probe starts a thread

  GlobalOptions options;
  CLI::App app{"tavik: the Tavik robot's boards from the command line", "tavik"};
  // As most Unix tools do: an option given twice takes its last value.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.require_subcommand(0, 1);  // a missing or unknown command is named below
  app.fallthrough();             // the global options may also follow the command
  app.set_version_flag("-V,--version", std::string("tavik ") + TAVIK_VERSION);
  add_global_options(app, options);
  app.footer("Exit status: 0 success, 1 a board command failed, 2 usage, 3 a port could not be opened.\n" +
             std::string("'tavik help COMMAND' or 'tavik COMMAND --help' explains a command") + kAllCommands);

  Runner run;
  add_psb_commands(app, run);
  add_drvb_commands(app, run);
  add_watch_command(app, run);
  add_ports_command(app, run);
#ifdef TAVIK_BRIDGE
  add_bridge_command(app);
#endif
  add_check_command(app, run);
  add_raw_command(app, run);
  std::vector<std::string> help_topic;
  CLI::App* help = app.add_subcommand("help", "Explain the program or a command: help [COMMAND...]");
  help->add_option("COMMAND", help_topic, "a command, such as: drvb param set");

  if (argc >= 2 && std::strcmp(argv[1], kCompleteCommand) == 0) {
    for (const std::string& candidate : complete(app, std::vector<std::string>(argv + 2, argv + argc)))
      std::puts(candidate.c_str());
    return kExitOk;
  }

  const bool json = asks_for_json(argc, argv);
#ifdef TAVIK_BRIDGE
  if (const int word = bridge_word(app, argc, argv); word != 0)
    return run_bridge_program(argc, argv, word, json);
#endif
  try {
    app.parse(argc, argv);
    if (help->parsed()) {
      CLI::App* topic = &app;
      std::string name_path = "tavik";
      for (const std::string& name : help_topic) {
        try {
          topic = topic->get_subcommand(name);
          name_path += " " + name;
        } catch (const CLI::OptionNotFound&) {
          throw CLI::ValidationError("no command '" + name + "' to explain (one of: " + offered(*topic) +
                                     ")");
        }
      }
      // Straight from the formatter: App::help would explain the selected "help".
      std::fputs(topic->get_formatter()->make_help(topic, name_path, CLI::AppFormatMode::Normal).c_str(),
                 stdout);
      return kExitOk;
    }
    if (!run) throw CLI::ExtrasError("", CLI::ExitCodes::ExtrasError);
  } catch (const CLI::Success& e) {  // --help, --help-all, --version
    return app.exit(e);
  } catch (const CLI::ExtrasError&) {
    Output(json).error(command_path(app), CommandError::usage(leftover_message(app)));
    return kExitUsage;
  } catch (const CLI::ParseError& e) {
    Output(json).error(command_path(app), CommandError::usage(e.what()));
    return kExitUsage;
  }

  return run_command(options, command_path(app), run);
}
