// Standard input for tavik check's prompts, Windows. A console is read key
// by key (ReadConsoleInput, echoed on standard error), so that no read waits
// for an Enter past the prompt's time; a pipe is read once it holds a byte
// (PeekNamedPipe, looked at every 20 ms); a file is read as it is.
#include <windows.h>

#include <algorithm>

#include "check_prompt.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPipeLook = std::chrono::milliseconds(20);

DWORD left_ms(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

void echo(char c) {
  const char* text = c == '\n' ? "\r\n" : &c;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, c == '\n' ? 2 : 1, &written, nullptr);
}

int console_byte(HANDLE in, Clock::time_point deadline) {
  for (;;) {
    if (WaitForSingleObject(in, left_ms(deadline)) != WAIT_OBJECT_0) return kInputLater;
    INPUT_RECORD record{};
    DWORD count = 0;
    if (!ReadConsoleInputA(in, &record, 1, &count) || count != 1) return kInputEnded;
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    if (record.EventType == KEY_EVENT && key.bKeyDown && key.uChar.AsciiChar != 0) {
      const char c = key.uChar.AsciiChar == '\r' ? '\n' : key.uChar.AsciiChar;
      echo(c);
      return static_cast<unsigned char>(c);
    }
    // Another event (a key let go, the mouse, a resize): wait on for a key.
    if (Clock::now() >= deadline) return kInputLater;
  }
}

}  // namespace

int read_input_byte(std::chrono::milliseconds wait) {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return kInputEnded;
  const auto deadline = Clock::now() + wait;
  DWORD mode = 0;
  if (GetConsoleMode(in, &mode)) return console_byte(in, deadline);
  if (GetFileType(in) == FILE_TYPE_PIPE) {
    for (;;) {
      DWORD ready = 0;
      // A pipe that cannot be looked into (its writer ended, or not a named
      // pipe) is read as a file is.
      if (!PeekNamedPipe(in, nullptr, 0, nullptr, &ready, nullptr) || ready > 0) break;
      if (Clock::now() >= deadline) return kInputLater;
      Sleep(std::min<DWORD>(static_cast<DWORD>(kPipeLook.count()), std::max<DWORD>(left_ms(deadline), 1)));
    }
  }
  unsigned char c = 0;
  DWORD read = 0;
  if (!ReadFile(in, &c, 1, &read, nullptr) || read != 1) return kInputEnded;
  return c;
}

}  // namespace tavik::cli
