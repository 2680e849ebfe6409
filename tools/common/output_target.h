// Where an output file of the tool goes (watch's CSV, check's JUnit report,
// param save's backup), as the system sees the name given:
// - a regular file, new or to be replaced, is never written in place: a
//   temporary file beside it (".NAME.XXXXXX", created new, never through a
//   link) takes the text, and place_output renames it over the name, so that
//   a run that fails leaves no half-written file and a symbolic or hard link
//   planted in the directory is never written through;
// - a symbolic link at the name is refused, but for the process's own
//   descriptors (/dev/stdout, /dev/stderr, /dev/fd/N), which are streams;
// - a character device or a FIFO (/dev/null, a pipe) is written in place, as
//   a stream.
// output_target.cpp implements it, with the system's calls of
// output_target_system.h in output_target_posix.cpp and output_target_win32.cpp.
#pragma once

#include <cstdio>
#include <string>

namespace tavik::cli {

enum class OutputFault {
  kNone,
  kExists,    // a regular file, and overwrite not given
  kSymlink,   // a symbolic link
  kNotAFile,  // a directory, a block device: detail says which
  kNoReader,  // a FIFO that no process reads
  kSystem,    // detail: the system's reason
};

struct OutputTarget {
  std::FILE* file = nullptr;     // to write to (opened for writing, not inherited)
  bool standard_output = false;  // the name is standard output's own (/dev/stdout): file is null
  std::string temporary;         // a regular file's: where the text goes until place_output
  OutputFault fault = OutputFault::kNone;
  std::string detail;
};

OutputTarget open_output(const std::string& path, bool overwrite);

// Makes what was written to file durable: "" or the system's reason.
std::string sync_output(std::FILE* file);

// Once the temporary file is closed: renames it over path (over an existing
// file only with overwrite). kNone, kExists or kSystem with detail set.
OutputFault place_output(const std::string& temporary, const std::string& path, bool overwrite,
                         std::string& detail);

// Removes a temporary file that is not to be placed.
void drop_output(const std::string& temporary);

}  // namespace tavik::cli
