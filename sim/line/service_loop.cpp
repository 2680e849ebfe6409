#include "sim/line/service_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace tavik::sim {

ServiceLoop::ServiceLoop() {
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

ServiceLoop::~ServiceLoop() {
  stop();
  ::close(wake_fd_);
}

void ServiceLoop::start(Handlers handlers) {
  handlers_ = std::move(handlers);
  thread_ = std::thread([this] { run(); });
}

void ServiceLoop::wake() {
  std::uint64_t one = 1;
  (void)!::write(wake_fd_, &one, sizeof one);
}

void ServiceLoop::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake();
  if (thread_.joinable()) thread_.join();
}

bool ServiceLoop::stopping() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stop_;
}

void ServiceLoop::run() {
  while (!stopping()) {
    const Wait wait = handlers_.prepare();
    timespec ts{};
    timespec* timeout = nullptr;
    if (wait.due != Clock::time_point::max()) {
      const auto left = std::max<Clock::duration>(wait.due - Clock::now(), Clock::duration::zero());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      ts.tv_sec = static_cast<time_t>(ns / 1000000000);
      ts.tv_nsec = static_cast<long>(ns % 1000000000);
      timeout = &ts;
    }
    pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {wait.fd, POLLIN, 0}};
    const int r = ::ppoll(fds, wait.fd >= 0 ? 2 : 1, timeout, nullptr);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    if (fds[0].revents & POLLIN) {
      std::uint64_t value = 0;
      (void)!::read(wake_fd_, &value, sizeof value);
    }
    if (wait.fd < 0 || !(fds[1].revents & POLLIN)) continue;
    std::uint8_t chunk[256];
    const ssize_t n = ::read(wait.fd, chunk, sizeof chunk);
    if (n > 0) handlers_.received(chunk, static_cast<std::size_t>(n));
  }
  if (handlers_.ended) handlers_.ended();
}

}  // namespace tavik::sim
