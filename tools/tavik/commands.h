// The tool's commands. Each registers itself as a subcommand of app; when the
// command line selects it, *run receives the function that carries it out.
#pragma once

#include <CLI/CLI.hpp>

#include "command_run.h"

namespace tavik::cli {

void add_psb_commands(CLI::App& app, Runner& run);
void add_drvb_commands(CLI::App& app, Runner& run);
void add_drive_command(CLI::App& drvb, Runner& run);
void add_watch_command(CLI::App& app, Runner& run);
void add_ports_command(CLI::App& app, Runner& run);
// tavik bridge, which runs tavik-bridge (where libmosquitto is: TAVIK_BRIDGE).
void add_bridge_command(CLI::App& app);
void add_check_command(CLI::App& app, Runner& run);
void add_raw_command(CLI::App& app, Runner& run);
// save and restore under drvb param.
void add_param_file_commands(CLI::App& param, Runner& run);

}  // namespace tavik::cli
