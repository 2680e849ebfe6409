// The system's part of an output file (output_target.h): what both systems
// share is output_target.cpp, their calls output_target_posix.cpp and
// output_target_win32.cpp.
#pragma once

#include <cstdio>
#include <string>

#include "output_target.h"

namespace tavik::cli {

OutputTarget output_failed(OutputFault fault, std::string detail);
// kSystem with the system's text for errno `error`.
OutputTarget output_system_failure(int error);
// A new file beside path, ".NAME.XXXXXX", made only if no such name is there.
OutputTarget open_temporary(const std::string& path);

// The system's: the characters that end a path's folder.
extern const char kFolderSeparators[];
// Creates path, a file that is not there yet (never through a link), for
// writing and not inherited: its descriptor, or -1 with errno set.
int create_new_file(const std::string& path);
// A stream written to fd; null with errno set, fd closed, when none can be made.
std::FILE* stream_on(int fd);

// A target written to fd; the failure, fd closed, when no stream can be made.
OutputTarget output_stream(int fd);

}  // namespace tavik::cli
