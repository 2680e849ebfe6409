// Maps the port names that callers pass ("COM7", "ttyUSB0", "/dev/pts/3")
// to the names of devices on the platform: the one place of that rule. One
// file per OS implements it (port_path_posix.cpp, port_path_win32.cpp).
#pragma once

#include <string>
#include <string_view>

#include "serial/failures/command_result.h"

namespace tavik {

// A network port name (port_url.h: tcp://, rfc2217://, or any other
// scheme, which an open refuses) is itself on every platform.
// POSIX: a name starting with "/" is used as it is. "COM<n>" resolves to
// $TAVIK_COM_DIR/COM<n> when that variable is set, else to /dev/tavik/COM<n>
// when that exists, else to /dev/ttyS<n-1>. Any other name is looked up
// under /dev/. (A COM name mapped in the ports file goes before the last
// two, port_map.h.)
// Windows: "COM<n>" becomes the device-namespace form \\.\COM<n>, the only
// one under which COM10 and above open (it works for every n); any other
// name is used as it is.
// Returns an empty string for a name that maps to no device.
std::string resolve_port_path(const char* name);

// POSIX: where the udev rule 99-tavik-com.rules publishes the boards' USB
// adapters as COM<n> links.
inline constexpr const char* kComLinkDir = "/dev/tavik";

// POSIX: TAVIK_COM_DIR is set and not empty. Then a COM name is looked for
// there only, and no ports file is read (port_map.h): the simulators
// publish their boards there. Windows: false.
bool com_dir_set();

// POSIX: the folder whose entries are the COM<n> names: $TAVIK_COM_DIR when
// set (tavik-sim's links), else kComLinkDir.
std::string com_name_dir();

// For a person: where a COM name that could not be opened (`why`) was looked
// for, when that explains the failure ("COM7 is looked for as ..."); "" for
// other names, a busy port, and where the name is the system's own
// (Windows).
std::string port_lookup_hint(const char* name, Failure why);

// n for "COM<n>" (1 to 6 digits), -1 for any other name.
inline long com_number(std::string_view name) {
  if (name.size() < 4 || name.size() > 9 || name.substr(0, 3) != "COM") return -1;
  long n = 0;
  for (char c : name.substr(3)) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

}  // namespace tavik
