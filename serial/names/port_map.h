// The ports file: COM names mapped to network ports, so that programs which
// offer only COM names (the console) reach boards served over the network.
// Lines of the form
//
//   COM7 = rfc2217://robot.local:7001
//
// '#' starts a comment, also after a mapping; blank lines are ignored. Read
// from /etc/tavik/ports, then ~/.config/tavik/ports (Linux) or
// %APPDATA%\Tavik\ports (Windows); a later line for the same name wins. A
// line that is not a mapping is skipped and reported once per process on
// standard error, with its file, its number and why; a file that is not
// safe to read (port_map_file.h) is reported and not read. A file is read
// again only when it changed.
//
// While TAVIK_COM_DIR is set (a simulator's boards, port_path.h) no ports
// file is read: every COM name is the simulator's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavik {

struct PortMapping {
  std::string name;    // COM<n>
  std::string target;  // a network port name (port_url.h)
  std::string file;
  int line = 0;
};

// The files looked at, in the order they are read (none while
// TAVIK_COM_DIR is set).
std::vector<std::string> port_map_files();

// Every mapping of the files, one per name (the one that wins). The bad
// lines are reported on standard error once each, and, when problems is
// given, added to it as "FILE:LINE: why".
std::vector<PortMapping> read_port_map(std::vector<std::string>* problems = nullptr);

// What the name is mapped to, or an empty string.
std::string mapped_port(std::string_view name);

// What a port name leads to by every name rule in turn: the network port
// (named, or mapped here) or the device (resolve_port_path); "" for none.
std::string port_target(std::string_view name);

}  // namespace tavik
