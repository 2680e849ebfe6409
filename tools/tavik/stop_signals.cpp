#include "stop_signals.h"

#include <signal.h>

#include <cerrno>
#include <ctime>

namespace tavik::cli {
namespace {

sigset_t stop_set() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void block_stop_signals() {
  sigset_t set = stop_set();
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int wait_for_stop(std::chrono::steady_clock::time_point until) {
  const sigset_t set = stop_set();
  for (;;) {
    auto left =
        std::chrono::duration_cast<std::chrono::nanoseconds>(until - std::chrono::steady_clock::now());
    if (left.count() < 0) left = std::chrono::nanoseconds(0);
    timespec ts{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
    const int sig = sigtimedwait(&set, nullptr, &ts);
    if (sig > 0) return sig;
    if (errno == EAGAIN) return 0;
    // EINTR: some other signal; wait on for the rest of the time.
  }
}

const char* stop_signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
  }
  return "signal";
}

}  // namespace tavik::cli
