#include "command_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace tavik::sim {
namespace {

// Longest command line taken; a longer one is answered with an error.
constexpr std::size_t kMaxLine = 1024;

// Splits a byte stream into command lines; a line longer than kMaxLine is
// answered with an error.
class LineSplitter {
 public:
  template <class Answer>
  void feed(const char* bytes, ssize_t n, Simulator& sim, Answer&& answer) {
    for (ssize_t i = 0; i < n; ++i) {
      if (bytes[i] == '\r') continue;
      if (bytes[i] != '\n') {
        if (line_.size() < kMaxLine)
          line_ += bytes[i];
        else
          overlong_ = true;
        continue;
      }
      answer(overlong_ ? "error: line too long" : sim.execute(line_));
      line_.clear();
      overlong_ = false;
    }
  }
  // The last line, when the input ended without a newline.
  std::string rest() const { return overlong_ ? std::string() : line_; }

 private:
  std::string line_;
  bool overlong_ = false;
};

// Writes an answer to the control port, as one line per answer line.
void answer_on(int master_fd, const std::string& text) {
  std::string out = text;
  if (out.empty() || out.back() != '\n') out += '\n';
  std::size_t sent = 0;
  while (sent < out.size()) {
    const ssize_t n = ::write(master_fd, out.data() + sent, out.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    pollfd p{master_fd, POLLOUT, 0};
    if (n < 0 && errno == EAGAIN && ::poll(&p, 1, 1000) > 0) continue;
    return;  // nobody reads the control port: the answer is lost
  }
}

// How often a simulator in the background of its terminal looks whether it
// was brought to the foreground.
constexpr int kForegroundLookMs = 250;

// Whether the standard input is a terminal whose foreground is another
// process group (`tavik-sim &` in an interactive shell): reading it would
// stop the program (SIGTTIN), and what is typed there is the shell's.
bool terminal_elsewhere() {
  if (::isatty(STDIN_FILENO) == 0) return false;
  const pid_t foreground = ::tcgetpgrp(STDIN_FILENO);
  return foreground > 0 && foreground != ::getpgrp();
}

}  // namespace

void say(const std::string& text) {
  if (text.empty()) return;
  std::fputs(text.c_str(), stdout);
  if (text.back() != '\n') std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Reads command lines from the standard input and, when there is one, from
// the control port until the input's end or a signal on signal_fd, running
// each on the simulator. Answers go where the command came from. While its
// terminal's foreground is another program's, the standard input is left
// alone and looked at again every kForegroundLookMs.
void serve_input(Simulator& sim, int signal_fd, const PtyEndpoint* control) {
  LineSplitter input_lines;
  LineSplitter control_lines;
  const int control_fd = control != nullptr ? control->master_fd() : -1;
  for (;;) {
    const bool background = terminal_elsewhere();
    pollfd fds[3] = {
        {signal_fd, POLLIN, 0}, {control_fd, POLLIN, 0}, {background ? -1 : STDIN_FILENO, POLLIN, 0}};
    if (::poll(fds, 3, background ? kForegroundLookMs : -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents & POLLIN) return;
    char chunk[512];
    if (fds[1].revents & POLLIN) {
      const ssize_t n = ::read(control_fd, chunk, sizeof chunk);
      control_lines.feed(chunk, n, sim, [&](const std::string& text) { answer_on(control_fd, text); });
    }
    if (!(fds[2].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    // EIO: moved to the background between the look and the read (SIGTTIN is ignored).
    if (n < 0 && (errno == EINTR || errno == EIO)) continue;
    if (n <= 0) break;
    input_lines.feed(chunk, n, sim, say);
  }
  if (!input_lines.rest().empty()) say(sim.execute(input_lines.rest()));
}

}  // namespace tavik::sim
