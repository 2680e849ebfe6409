// The texts the console writes: values formatted for its read-outs.
#pragma once

#include <cstdio>
#include <string>

namespace tavik::console {

// Shown when a button needs a board that is not connected.
inline constexpr const char* kSerialNotConnected = "Serial Not Connect!!!";

// What a read-out shows when the read that would have filled it failed.
inline constexpr const char* kNoValue = "--";
// The link panel's port before the first Connect.
inline constexpr const char* kNoPort = "--";

// One value formatted with a printf format, such as "%d mm/s".
template <class T>
std::string format_text(const char* format, T value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace tavik::console
