// The operator at the station: tavik check's prompts go to standard error
// (the results may be on standard output), the answers come from standard
// input (a keyboard, or a barcode scanner that types the id and Enter).
// check_input_posix.cpp or check_input_win32.cpp reads the input.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace tavik::cli {

// One line to the operator.
void tell_operator(const std::string& text);

struct Answer {
  std::optional<std::string> line;  // without its line end; none after the time or at the end of input
  int stop = 0;                     // the stop request (Ctrl-C) that came while waiting, or 0
  bool input_ended = false;         // standard input ended before a line
};

// Shows question (no line end) and reads one line, for at most `limit`.
Answer ask_operator(const std::string& question, std::chrono::milliseconds limit);

// The next byte of standard input, waiting at most `wait`: the byte, or
// kInputEnded at the end of input, or kInputLater when none came in time.
inline constexpr int kInputEnded = -1;
inline constexpr int kInputLater = -2;
int read_input_byte(std::chrono::milliseconds wait);

}  // namespace tavik::cli
