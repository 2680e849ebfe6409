// Writing the diagnostic lines without blocking on Windows. Files and
// consoles take a short line at once. A pipe has no readiness wait, so its
// handle is switched to non-blocking mode: a write then takes what fits and
// returns, and the rest is offered again in short steps until the wait is up.
#include <windows.h>

#include <algorithm>

#include "console/core/diagnostic_output.h"

namespace tavik::console {
namespace {

constexpr DWORD kRetryMs = 5;

HANDLE standard_handle(int fd) {
  switch (fd) {
    case 1:
      return ::GetStdHandle(STD_OUTPUT_HANDLE);
    case 2:
      return ::GetStdHandle(STD_ERROR_HANDLE);
    default:
      return INVALID_HANDLE_VALUE;
  }
}

}  // namespace

int write_when_ready(int fd, const char* text, int length, std::chrono::milliseconds wait) {
  const HANDLE handle = standard_handle(fd);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return -1;  // a program without output
  const bool pipe = ::GetFileType(handle) == FILE_TYPE_PIPE;
  if (pipe) {
    DWORD mode = PIPE_NOWAIT;
    ::SetNamedPipeHandleState(handle, &mode, nullptr, nullptr);
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  int written = 0;
  while (written < length) {
    DWORD n = 0;
    if (!::WriteFile(handle, text + written, static_cast<DWORD>(length - written), &n, nullptr)) {
      return -1;  // broken pipe, closed handle: nobody will read it
    }
    written += static_cast<int>(n);
    if (written == length || !pipe) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    ::Sleep(std::min<DWORD>(kRetryMs, static_cast<DWORD>(left.count())));
  }
  return written;
}

// Windows has no signal for a broken pipe: the write fails instead.
void ignore_broken_pipe_on_this_thread() {}

}  // namespace tavik::console
