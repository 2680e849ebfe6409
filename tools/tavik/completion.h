// Shell completion from the command tree itself: the bash and zsh scripts
// (completion/) ask `tavik __complete WORD...` for the candidates of the
// last word, so that they never fall out of step with the commands.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "global_options.h"

namespace tavik::cli {

// The name the completion scripts call the tool with.
inline constexpr const char* kCompleteCommand = "__complete";
// The candidates for the last of words (the words after the program's
// name; the last is the one being completed, "" for a new one): commands,
// options (each once), or the values an argument or option takes. None
// where any text goes (a file name, a number): the shell then offers file
// names.
std::vector<std::string> complete(const CLI::App& app, const std::vector<std::string>& words);

}  // namespace tavik::cli
