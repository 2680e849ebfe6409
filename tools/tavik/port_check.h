// Why a port cannot be opened, found out without disturbing a program that
// holds it.
#pragma once

#include <string>

namespace tavik::cli {

// True when another process holds the device with the lock the libraries
// take on their ports.
bool port_busy(const std::string& device_path);

struct OpenFailure {
  const char* reason;  // a code of reason::, such as "port-missing"
  std::string text;    // "missing (/dev/ttyUSB3)", "busy: held by process 812 (tavik)", ...
};

// Why serial_port_create could not open port_name. For a COM name that fell
// back to /dev/ttyS<n-1>, the text also says how COM names are found.
OpenFailure open_failure(const std::string& port_name);

}  // namespace tavik::cli
