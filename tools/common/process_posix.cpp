// The process on Linux and other POSIX systems: the stop signals blocked
// and taken through a signalfd.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "command_error.h"
#include "output.h"
#include "process.h"

namespace tavik::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t stop_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int sig : kStopSignals) sigaddset(&set, sig);
  return set;
}

// The stop signal that wait_for_stop took, or 0.
std::atomic<int> g_stop_taken{0};

// Readable once a stop signal was taken: wakes the other threads' waits.
int taken_fd() {
  static const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return fd;
}

// The signal taken first, now that `sig` was read: every wait answers it from now on.
int take(int sig) {
  int first = 0;
  g_stop_taken.compare_exchange_strong(first, sig);
  const std::uint64_t one = 1;
  if (::write(taken_fd(), &one, sizeof one) < 0) {
    // The descriptor is gone or full: g_stop_taken still answers every later wait.
  }
  return g_stop_taken.load();
}

}  // namespace

void keep_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd)
      ::_exit(kExitUsage);
  }
}

void set_environment(const char* name, const char* value) { ::setenv(name, value, 1); }

std::string host_name() {
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

void block_stop_signals() {
  sigset_t set = stop_set();
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int wait_for_stop(std::chrono::steady_clock::time_point until) {
  // The signals stay blocked; the descriptor takes them as they come. Not
  // blocking: two threads woken by one signal, only one reads it.
  static const int signal_fd = [] {
    const sigset_t set = stop_set();
    return ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  }();
  for (;;) {
    if (const int taken = g_stop_taken.load(); taken != 0) return taken;
    if (watch_output_closed()) return kOutputClosed;
    auto left =
        std::chrono::duration_cast<std::chrono::nanoseconds>(until - std::chrono::steady_clock::now());
    if (left.count() < 0) left = std::chrono::nanoseconds(0);
    timespec ts{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
    // Standard output with no events asked for reports only its reader going away.
    pollfd fds[3] = {{signal_fd, POLLIN, 0}, {STDOUT_FILENO, 0, 0}, {taken_fd(), POLLIN, 0}};
    const int ready = ::ppoll(fds, 3, &ts, nullptr);
    if (ready < 0 && errno == EINTR) continue;  // some other signal: wait on for the rest
    if (ready < 0) {
      // No descriptor to wait on: wait for the signals alone.
      const sigset_t set = stop_set();
      const int sig = sigtimedwait(&set, nullptr, &ts);
      return sig > 0 ? take(sig) : 0;
    }
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info{};
      if (::read(signal_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        return take(static_cast<int>(info.ssi_signo));
    }
    if (fds[2].revents & POLLIN) continue;  // another thread took one: answered above
    if (ready == 0) return 0;
  }
}

bool stop_requested() {
  if (g_stop_taken.load() != 0) return true;
  // Blocked in every thread, a signal stays pending for the process until taken.
  sigset_t pending;
  if (sigpending(&pending) != 0) return false;
  for (const int sig : kStopSignals) {
    if (sigismember(&pending, sig) == 1) return true;
  }
  return false;
}

const char* stop_signal_name(int request) {
  switch (request) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    case kOutputClosed:
      return "output closed";
  }
  return "signal";
}

}  // namespace tavik::cli
