#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "serial/transport/net_socket.h"

namespace tavik::net {
namespace {

int ms_until(Clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60000));
}

// getaddrinfo bounded by the deadline: a numeric address at once, a name
// through the resolver's asynchronous form. A lookup still running at the
// deadline is cancelled; one that cannot be cancelled keeps its request,
// which the resolver still writes to, and so it is never freed.
Failure resolve(const std::string& host, const std::string& port, Clock::time_point deadline,
                addrinfo** found) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, found) == 0) return Failure::kNone;
  struct Lookup {
    std::string host, port;
    addrinfo hints{};
    gaicb request{};
  };
  auto* lookup = new Lookup{host, port, {}, {}};
  lookup->hints.ai_family = AF_UNSPEC;
  lookup->hints.ai_socktype = SOCK_STREAM;
  lookup->hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  lookup->request.ar_name = lookup->host.c_str();
  lookup->request.ar_service = lookup->port.c_str();
  lookup->request.ar_request = &lookup->hints;
  gaicb* list[1] = {&lookup->request};
  sigevent none{};
  none.sigev_notify = SIGEV_NONE;
  if (::getaddrinfo_a(GAI_NOWAIT, list, 1, &none) != 0) {
    delete lookup;
    return Failure::kHostNotFound;
  }
  for (;;) {
    const int left = ms_until(deadline);
    const timespec wait{left / 1000, (left % 1000) * 1000000L};
    const int r = ::gai_suspend(list, 1, &wait);
    if (r == EAI_INTR) continue;
    if (r == EAI_AGAIN && left > 0) continue;  // woken early, or the time is up
    break;
  }
  const int status = ::gai_error(&lookup->request);
  if (status == EAI_INPROGRESS && ::gai_cancel(&lookup->request) == EAI_NOTCANCELED)
    return Failure::kHostNotFound;
  if (status == 0) {
    *found = lookup->request.ar_result;
    delete lookup;
    return Failure::kNone;
  }
  if (lookup->request.ar_result != nullptr) ::freeaddrinfo(lookup->request.ar_result);
  delete lookup;
  return Failure::kHostNotFound;
}

void set_options(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  const int idle = 5, interval = 1, count = 5;
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  // Data sent and not acknowledged for this long ends the connection.
  const unsigned user_timeout_ms = 10000;
  ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout_ms, sizeof user_timeout_ms);
}

// Connects one address by the deadline: 0, or the errno that failed it
// (ETIMEDOUT when the deadline passed).
int connect_one(const addrinfo& address, Clock::time_point deadline, int* out) {
  const int fd =
      ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) return errno;
  set_options(fd);
  int error = 0;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    error = errno;
    if (error == EINPROGRESS) {
      error = ETIMEDOUT;
      if (wait_for(fd, true, deadline) == Wait::kReady) {
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      }
    }
  }
  if (error != 0) {
    ::close(fd);
    return error;
  }
  *out = fd;
  return 0;
}

}  // namespace

Socket connect_to(const std::string& host, const std::string& port, Clock::time_point deadline,
                  Failure& why) {
  addrinfo* found = nullptr;
  why = resolve(host, port, deadline, &found);
  if (why != Failure::kNone) return kNoSocket;
  why = Failure::kOpenFailed;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    int fd = -1;
    const int error = connect_one(*a, deadline, &fd);
    if (error == 0) {
      ::freeaddrinfo(found);
      why = Failure::kNone;
      return fd;
    }
    if (error == ECONNREFUSED) why = Failure::kConnectionRefused;
    if (Clock::now() >= deadline) break;
  }
  ::freeaddrinfo(found);
  return kNoSocket;
}

Wait wait_for(Socket socket, bool for_write, Clock::time_point until) {
  for (;;) {
    const auto left = std::max(std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now()),
                               std::chrono::nanoseconds(0));
    const timespec ts{static_cast<time_t>(left.count() / 1000000000),
                      static_cast<long>(left.count() % 1000000000)};
    pollfd pfd{static_cast<int>(socket), static_cast<short>(for_write ? POLLOUT : POLLIN), 0};
    const int r = ::ppoll(&pfd, 1, &ts, nullptr);
    if (r > 0) return Wait::kReady;  // POLLHUP and POLLERR too: the next transfer says what
    if (r == 0) return Wait::kTimeout;
    if (errno != EINTR) return Wait::kFailed;
  }
}

int send_some(Socket socket, const std::uint8_t* data, int count) {
  for (;;) {
    const ssize_t n = ::send(static_cast<int>(socket), data, static_cast<size_t>(count), MSG_NOSIGNAL);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kWouldBlock;
    return kBroken;
  }
}

int receive_some(Socket socket, std::uint8_t* buffer, int count) {
  for (;;) {
    const ssize_t n = ::recv(static_cast<int>(socket), buffer, static_cast<size_t>(count), 0);
    if (n > 0) {
      // Acknowledged at once, not up to 40 ms later: a server that sends a
      // short answer (an RFC 2217 purge's) ahead of the reply, with Nagle's
      // algorithm on, holds the reply until that acknowledgement.
      const int on = 1;
      ::setsockopt(static_cast<int>(socket), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
      return static_cast<int>(n);
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kWouldBlock;
    return kBroken;  // 0: the peer closed the stream
  }
}

void close_socket(Socket socket) {
  if (socket != kNoSocket) ::close(static_cast<int>(socket));
}

}  // namespace tavik::net
