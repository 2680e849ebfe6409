// A TCP port on 127.0.0.1 that only counts who connects: the stand-in for a
// robot's board served over the network, which a program must not reach.
// The system completes the connections into the listen queue; they are
// counted (and closed) when asked, so no thread serves them.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace tavik::test {

class CountingListener {
 public:
  CountingListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 64) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) == 0)
      port_ = ntohs(a.sin_port);
  }
  ~CountingListener() { ::close(fd_); }
  CountingListener(const CountingListener&) = delete;
  CountingListener& operator=(const CountingListener&) = delete;

  bool listening() const { return port_ > 0; }
  // "tcp://127.0.0.1:PORT" for scheme "tcp".
  std::string url(const std::string& scheme = "tcp") const {
    return scheme + "://127.0.0.1:" + std::to_string(port_);
  }

  // The connections made since the last call.
  int connections() {
    int count = 0;
    for (int fd; (fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ++count) ::close(fd);
    return count;
  }

 private:
  int fd_ = -1;
  int port_ = -1;
};

}  // namespace tavik::test
