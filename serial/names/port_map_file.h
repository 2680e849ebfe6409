// Reading one ports file (port_map.h) without harm: nothing but a regular
// file of this user's or root's, never more than kPortsFileMaxBytes, and
// never opened before it is known to be such a file (a FIFO would hold the
// open, a serial device would raise its lines). port_map_file.cpp
// implements it over the system's calls of port_map_file_system.h, one file
// per OS (port_map_file_posix.cpp, port_map_file_win32.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace tavik {

// The most a ports file may hold: some thousand lines, far more than any
// robot's names.
inline constexpr std::size_t kPortsFileMaxBytes = 64 * 1024;
inline std::string ports_file_too_large() {
  return "larger than " + std::to_string(kPortsFileMaxBytes / 1024) + " KiB";
}

// What tells one version of a file from another without reading it.
struct FileStamp {
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t modified_ns = 0, changed_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

struct PortsFileRead {
  enum class Outcome { kAbsent, kUnchanged, kRefused, kRead } outcome = Outcome::kAbsent;
  FileStamp stamp;
  std::string text;  // kRead: the file's bytes
  std::string why;   // kRefused: for a person ("not a regular file", ...)
};

// Reads path unless it is still the version `known` (kUnchanged; null: read
// any). An absent file is no error.
PortsFileRead read_ports_file(const std::string& path, const FileStamp* known);

}  // namespace tavik
