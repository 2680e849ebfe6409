// The system's part of reading a ports file (port_map_file.cpp): what the
// name is, and its bytes. One file per OS (port_map_file_posix.cpp,
// port_map_file_win32.cpp).
#pragma once

#include <string>

#include "serial/names/port_map_file.h"

namespace tavik {

struct PortsFileLook {
  bool absent = false;
  std::string refusal;  // why the name is not to be opened ("not a regular file", ...); "": it may be
  FileStamp stamp;
};

// Looks at path without opening it.
PortsFileLook look_at_ports_file(const std::string& path);

// Opens the file looked at and appends its bytes to text, no more than
// kPortsFileMaxBytes + 1 of them, setting the stamp of the file as opened.
// "" or why the file was not read.
std::string read_ports_file_bytes(const std::string& path, std::string& text, FileStamp& stamp);

}  // namespace tavik
