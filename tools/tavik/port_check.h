// Why a port cannot be opened, found out without disturbing a program that
// holds it.
#pragma once

#include <string>

namespace tavik::cli {

// True when another process holds the device with the lock the libraries
// take on their ports.
bool port_busy(const std::string& device_path);

// "missing (/dev/ttyUSB3)", "busy", "not a serial device", ...; for a port
// that serial_port_create could not open.
std::string open_failure_reason(const std::string& port_name);

}  // namespace tavik::cli
