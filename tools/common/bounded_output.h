// Writing to standard output and error without waiting past a bound, and
// telling when their reader went away: bounded_output_posix.cpp or
// bounded_output_win32.cpp implements it.
#pragma once

#include <chrono>
#include <string>

namespace tavik::cli {

enum class Stream { kOut, kErr };
enum class Written { kWhole, kTimedOut, kClosed, kFailed };

struct WriteResult {
  Written written;
  std::string reason;  // for kFailed, the system's: "No space left on device"
};

// Writes text to the stream, waiting at most bound for room. kClosed when
// nothing reads the other end any more (a pipe's reader ended, a terminal
// hung up); kFailed when the system refused the write (a full disk, an I/O
// error of a file).
WriteResult write_bounded(Stream stream, const std::string& text, std::chrono::milliseconds bound);

// Looks once, without writing, whether standard output's reader went away.
bool output_hung_up();

bool is_terminal(Stream stream);

}  // namespace tavik::cli
