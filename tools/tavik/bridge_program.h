// tavik bridge: the MQTT bridge is a program of its own, tavik-bridge;
// `tavik bridge ARGS...` runs it with the same arguments but the word
// "bridge", in this process (so that its exit status and the signals sent
// to this process are its own). The command tree keeps `bridge`, with the
// bridge's options, for help and completion.
#pragma once

#include <CLI/CLI.hpp>

namespace tavik::cli {

// The name of the bridge's program.
inline constexpr const char* kBridgeProgram = "tavik-bridge";

// Where the command line selects `bridge`: the index of that word in argv,
// the global options before it read as app reads them; 0 when it selects
// something else (or asks for tavik's own help or version).
int bridge_word(const CLI::App& app, int argc, char** argv);

// Replaces this process with tavik-bridge (the one beside this program,
// else the first on PATH) given argv without argv[word]. Returns only when
// neither could be run, with the exit code, the error written.
int run_bridge_program(int argc, char** argv, int word, bool json);

}  // namespace tavik::cli
