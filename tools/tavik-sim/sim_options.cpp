#include "sim_options.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <regex>

#include "tavik_version.h"

namespace tavik::sim {

std::optional<int> parse_sim_options(int argc, char** argv, SimProgramOptions& options) {
  CLI::App app{"tavik-sim: substitute power & sensor board and drive board on pseudo-terminals", "tavik-sim"};
  app.set_version_flag("--version", std::string("tavik-sim ") + TAVIK_VERSION);
  app.footer(std::string("The standard input (and the --control line) takes one command a line.\n") +
             command_help() +
             "To record a drive for Foxglove or PlotJuggler: 'tavik-sim --link-dir ~/tavik-sim &', "
             "'export TAVIK_COM_DIR=~/tavik-sim', 'tavik drvb servo on', then "
             "'tavik watch --duration 10 --mcap run.mcap --drive 200 200 --for 5'; in the background it "
             "reads no commands until 'fg'.\n"
             "Exit status: 0 after the end of input or a signal, 1 when the "
             "boards could not start, 2 for a usage error.");
  SimulatorOptions& sim = options.simulator;
  const auto com_name = CLI::Validator(
      [](std::string& name) {
        return std::regex_match(name, std::regex("COM[0-9]{1,6}")) ? std::string() : "expected COM<n>";
      },
      "COM<n>");
  app.add_option("--psb", sim.psb_name, "port name of the power & sensor board")
      ->capture_default_str()
      ->check(com_name);
  app.add_option("--drvb", sim.drvb_name, "port name of the drive board")
      ->capture_default_str()
      ->check(com_name);
  app.add_option("--link-dir", sim.link_dir,
                 "directory for the COM<n> links, made when it does not exist (default: a new private "
                 "one)");
  app.add_option("--control", options.control_name,
                 "port name of a line that takes commands, like the standard input")
      ->check(com_name);
  app.add_flag("--pace", sim.pace, "send replies at the line rate of 115200 baud");
  app.add_option("--seed", sim.seed, "seed of the random choices")->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "tavik-sim: %s\nRun 'tavik-sim --help' for more information.\n", e.what());
    return 2;
  }
  if (sim.psb_name == sim.drvb_name || options.control_name == sim.psb_name ||
      options.control_name == sim.drvb_name) {
    std::fprintf(stderr, "tavik-sim: --psb, --drvb and --control need different names\n");
    return 2;
  }
  return std::nullopt;
}

}  // namespace tavik::sim
