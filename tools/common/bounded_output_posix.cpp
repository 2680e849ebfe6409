// Standard output and error on Linux and other POSIX systems: poll() for
// room and for the reader's end.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "bounded_output.h"

namespace tavik::cli {
namespace {

constexpr std::size_t kChunk = 256;

}  // namespace

WriteResult write_bounded(Stream stream, const std::string& text, std::chrono::milliseconds bound) {
  const int fd = stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + bound;
  std::size_t sent = 0;
  while (sent < text.size()) {
    // Room is looked for before each write: a pipe or terminal that polls
    // writable takes a chunk this small without blocking.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::max<long>(left.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {Written::kTimedOut, ""};
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return {Written::kClosed, ""};
    const ssize_t n = ::write(fd, text.data() + sent, std::min<std::size_t>(text.size() - sent, kChunk));
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      // A terminal that hung up fails with EIO; a file with EIO is broken.
      const bool gone = errno == EPIPE || errno == EBADF || (errno == EIO && ::isatty(fd) != 0);
      if (gone) return {Written::kClosed, ""};
      return {Written::kFailed, std::strerror(errno)};
    }
  }
  return {Written::kWhole, ""};
}

bool output_hung_up() {
  // No events asked for: only the reader's end (POLLERR on a pipe, POLLHUP
  // on a terminal) is reported, never room to write.
  pollfd p{STDOUT_FILENO, 0, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

bool is_terminal(Stream stream) {
  return ::isatty(stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO) != 0;
}

}  // namespace tavik::cli
