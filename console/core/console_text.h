// The texts the console writes: values formatted for its read-outs and the
// diagnostic lines on the standard output.
#pragma once

#include <cstdio>
#include <string>

namespace tavik::console {

// Shown when a button needs a board that is not connected.
inline constexpr const char* kSerialNotConnected = "Serial Not Connect!!!";

// What a read-out shows when the read that would have filled it failed.
inline constexpr const char* kNoValue = "--";

// One value formatted with a printf format, such as "%d mm/s".
template <class T>
std::string format_text(const char* format, T value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Writes a diagnostic line such as "ret: %d \n" and flushes it, so that it
// shows at once even when the standard output is a pipe.
inline void print_result(const char* format, int result) {
  std::printf(format, result);
  std::fflush(stdout);
}

}  // namespace tavik::console
