// Writing the diagnostic lines without blocking: poll() for room first, then
// write a piece of at most kPiece bytes. A pipe that polls writable has room
// for a whole page, a terminal for far more than kPiece, and files always
// take what comes, so no write blocks.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "console/core/diagnostic_output.h"

namespace tavik::console {
namespace {

constexpr int kPiece = 256;

}  // namespace

int write_when_ready(int fd, const char* text, int length, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  int written = 0;
  while (written < length) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd pfd{fd, POLLOUT, 0};
    const int ready = ::poll(&pfd, 1, static_cast<int>(std::max<long>(0, left.count())));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (pfd.revents & (POLLERR | POLLNVAL))) return -1;
    if (ready == 0) break;  // not taken within the wait
    const ssize_t n = ::write(fd, text + written, static_cast<size_t>(std::min(length - written, kPiece)));
    if (n > 0) {
      written += static_cast<int>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      return -1;  // EPIPE, EBADF, EIO: nobody will read it
    }
  }
  return written;
}

void ignore_broken_pipe_on_this_thread() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace tavik::console
