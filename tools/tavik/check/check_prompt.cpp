#include "check_prompt.h"

#include <cstdio>

#include "process.h"

namespace tavik::cli {
namespace {

// How long a wait for input goes before it looks for a stop request.
constexpr std::chrono::milliseconds kStopLook{100};

}  // namespace

void tell_operator(const std::string& text) {
  std::fputs((text + "\n").c_str(), stderr);
  std::fflush(stderr);
}

Answer ask_operator(const std::string& question, std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  std::fputs(question.c_str(), stderr);
  std::fflush(stderr);
  const auto deadline = Clock::now() + limit;
  Answer answer;
  std::string line;
  for (;;) {
    if (const int stop = wait_for_stop(Clock::now()); stop > 0) {
      answer.stop = stop;
      break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    const int c = read_input_byte(std::min(left, kStopLook));
    if (c == kInputLater) continue;
    if (c == kInputEnded) {
      answer.input_ended = true;
      break;
    }
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      answer.line = line;
      break;
    }
    line += static_cast<char>(c);
  }
  if (!answer.line) std::fputs("\n", stderr);
  return answer;
}

}  // namespace tavik::cli
