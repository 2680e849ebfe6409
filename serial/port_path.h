// Maps the port names that callers pass ("COM7", "ttyUSB0", "/dev/pts/3")
// to device paths on POSIX systems.
#pragma once

#include <string>

namespace tavik {

// A name starting with "/" is used as it is. "COM<n>" resolves to
// $TAVIK_COM_DIR/COM<n> when that variable is set, else to /dev/tavik/COM<n>
// when that exists, else to /dev/ttyS<n-1>. Any other name is looked up
// under /dev/. Returns an empty string for a name that maps to no device.
std::string resolve_port_path(const char* name);

}  // namespace tavik
