// Ports on 127.0.0.1 for the servers a test starts (ser2net, mosquitto).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace tavik::test {

// A TCP port on 127.0.0.1 that nothing listens on now.
inline int free_tcp_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  int port = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(fd);
  return port;
}

// Whether something listens on 127.0.0.1:port, from /proc/net/tcp: a
// connection to find out would make ser2net open its device.
inline bool listening(int port) {
  std::ifstream table("/proc/net/tcp");
  char local[32];
  std::snprintf(local, sizeof local, "0100007F:%04X", port);
  std::string line;
  while (std::getline(table, line)) {
    if (line.find(local) != std::string::npos && line.find(" 0A ") != std::string::npos) return true;
  }
  return false;
}

}  // namespace tavik::test
