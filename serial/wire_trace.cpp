#include "serial/wire_trace.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace tavik {
namespace {

struct Sink {
  std::once_flag setup;
  std::mutex lock;
  std::FILE* file = nullptr;  // null: tracing off
};

Sink& sink() {
  static Sink instance;
  return instance;
}

void open_sink(Sink& s) {
  const char* target = std::getenv("TAVIK_TRACE");
  if (target == nullptr || target[0] == '\0') return;
  if (std::strcmp(target, "stderr") == 0) {
    s.file = stderr;
    return;
  }
  std::FILE* file = std::fopen(target, "a");
  if (file == nullptr) {
    std::fprintf(stderr, "tavik: cannot open the trace file %s: %s; tracing is off\n", target,
                 std::strerror(errno));
    return;
  }
  // Lines go out whole: one write each, from a buffer larger than any line.
  std::setvbuf(file, nullptr, _IOFBF, 8192);
  s.file = file;
}

}  // namespace

void wire_trace_setup() {
  Sink& s = sink();
  std::call_once(s.setup, [&s] { open_sink(s); });
}

bool wire_trace_on() { return sink().file != nullptr; }

void wire_trace_line(const char* board, const char* what, const std::uint8_t* data, int count,
                     const char* outcome) {
  Sink& s = sink();
  if (s.file == nullptr) return;
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  std::string line = std::to_string(us) + " " + board + " " + what;
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < count; ++i) {
    line += ' ';
    line += kHex[data[i] >> 4];
    line += kHex[data[i] & 0xF];
  }
  line += "  |";
  for (int i = 0; i < count; ++i) line += data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '.';
  line += '|';
  if (outcome != nullptr) {
    line += ' ';
    line += outcome;
  }
  line += '\n';
  std::lock_guard<std::mutex> guard(s.lock);
  std::fwrite(line.data(), 1, line.size(), s.file);
  std::fflush(s.file);
}

}  // namespace tavik
