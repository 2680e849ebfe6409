// The wire trace: with TAVIK_TRACE=stderr or TAVIK_TRACE=FILE in the
// environment when a board connection is created, the library writes one
// line for each frame sent, each reply read (with its outcome), and the bytes
// that a purge threw away:
//
//   <µs> <board> tx|rx|purged <bytes in hex> |<bytes as text>| [outcome]
//
// The time is the monotonic clock in microseconds. Lines are written whole,
// also from several threads. Off by default: a port then only tests a flag.
#pragma once

#include <cstdint>

namespace tavik {

// Reads TAVIK_TRACE the first time it is called in this library. The file is
// appended to when it is a plain file of this user's, else created for this
// user alone; a symbolic link, a device, a FIFO (which never makes the open
// wait) or a file that cannot be opened is reported once on standard error,
// and tracing stays off.
void wire_trace_setup();
bool wire_trace_on();

// One line: board, what ("tx", "rx", "purged"), the bytes, and an outcome
// ("ok", "no reply", ...) or nullptr.
void wire_trace_line(const char* board, const char* what, const std::uint8_t* data, int count,
                     const char* outcome = nullptr);

}  // namespace tavik
