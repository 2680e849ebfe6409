// The options every command of tavik and tavik-bridge takes: the boards'
// ports, the reply time-out, JSON output, the simulator and the wire trace.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "facts/defaults.h"

namespace tavik::cli {

struct GlobalOptions {
  std::string psb = kDefaultPsbPort;
  std::string drvb = kDefaultDrvbPort;
  int timeout_ms = kDefaultTimeoutMs;
  bool json = false;
  bool simulate = false;
  bool trace = false;  // the libraries' wire trace on standard error
};

// The type name of an option that takes a port (--psb, --drvb): completed
// with the machine's ports, the ports file's COM names and the network
// schemes.
inline constexpr const char* kPortType = "PORT";

// Adds the global options to app, bound to options.
void add_global_options(CLI::App& app, GlobalOptions& options);

}  // namespace tavik::cli
