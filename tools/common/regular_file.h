// Reading a file a person names on the command line (check's limits, param
// restore's backup, the bridge's password file): a regular file only, so
// that a FIFO cannot hang the tool nor a device feed it without end, and at
// most a given size. regular_file_posix.cpp or regular_file_win32.cpp
// implements it.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

namespace tavik::cli {

struct RegularFile {
  std::string text;
  // "" when the file was read, else why not: the system's reason ("No such
  // file or directory"), "not a regular file but a FIFO", or too_large_text.
  std::string error;
  // Group or others may read or change it (POSIX; never on Windows).
  bool shared = false;
  unsigned mode = 0;  // its permission bits (POSIX)
};

RegularFile read_regular_file(const std::string& path, std::size_t most_bytes);

inline std::string too_large_text(std::size_t most_bytes) {
  return "larger than " + std::to_string(most_bytes / 1024) + " KiB";
}

// Appends what read(buffer, size) gives (bytes, 0 at the end, -1 with errno
// set) to file.text until the end, an error or more than most_bytes.
template <class Read>
void read_at_most(RegularFile& file, std::size_t most_bytes, Read read) {
  char buffer[4096];
  for (;;) {
    const long n = read(buffer, sizeof buffer);
    if (n < 0) {
      file.error = std::strerror(errno);
      return;
    }
    if (n == 0) return;
    file.text.append(buffer, static_cast<std::size_t>(n));
    if (file.text.size() > most_bytes) {
      file.error = too_large_text(most_bytes);
      return;
    }
  }
}

}  // namespace tavik::cli
