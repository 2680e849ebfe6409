// Running the command a command line selected, for tavik and tavik-bridge
// alike: the boards' session, the result written, and the exit code of how
// it ended (an error written as the output's form asks).
#pragma once

#include <functional>
#include <string>

#include "output.h"
#include "session.h"

namespace tavik::cli {

// Runs a selected command; returns the exit code or throws CommandError.
using Runner = std::function<int(Session&, Output&)>;

// Whether the command line asks for JSON, before it is parsed: for its own
// usage errors.
bool asks_for_json(int argc, char** argv);

// Runs run on a session of options' boards; an error ends it with its exit
// code, written under the command's name ("drvb param get").
int run_command(const GlobalOptions& options, const std::string& command, const Runner& run);

}  // namespace tavik::cli
