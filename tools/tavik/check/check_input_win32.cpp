// Standard input for tavik check's prompts, Windows: a wait on the input
// handle, then one byte (a console gives its line after Enter).
#include <windows.h>

#include "check_prompt.h"

namespace tavik::cli {

int read_input_byte(std::chrono::milliseconds wait) {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == nullptr || in == INVALID_HANDLE_VALUE) return kInputEnded;
  if (WaitForSingleObject(in, static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0) return kInputLater;
  unsigned char c = 0;
  DWORD read = 0;
  if (!ReadFile(in, &c, 1, &read, nullptr) || read != 1) return kInputEnded;
  return c;
}

}  // namespace tavik::cli
