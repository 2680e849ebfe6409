#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <mutex>

#include "serial/transport/net_socket.h"

namespace tavik::net {
namespace {

void start_winsock() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  });
}

timeval time_until(Clock::time_point until) {
  const auto left = std::max<long long>(
      std::chrono::duration_cast<std::chrono::microseconds>(until - Clock::now()).count(), 0);
  return timeval{static_cast<long>(left / 1000000), static_cast<long>(left % 1000000)};
}

void set_options(SOCKET s) {
  const BOOL on = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
  u_long nonblocking = 1;
  ::ioctlsocket(s, FIONBIO, &nonblocking);
}

// Connects one address by the deadline: 0, or the Winsock error that failed it.
int connect_one(const addrinfo& address, Clock::time_point deadline, SOCKET* out) {
  const SOCKET s = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
  if (s == INVALID_SOCKET) return ::WSAGetLastError();
  set_options(s);
  int error = 0;
  if (::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
    error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(s, &writable);
      FD_SET(s, &failed);
      timeval wait = time_until(deadline);
      error = WSAETIMEDOUT;
      if (::select(0, nullptr, &writable, &failed, &wait) > 0) {
        int so_error = 0;
        int length = sizeof so_error;
        ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &length);
        error = FD_ISSET(s, &failed) && so_error == 0 ? WSAECONNREFUSED : so_error;
      }
    }
  }
  if (error != 0) {
    ::closesocket(s);
    return error;
  }
  *out = s;
  return 0;
}

}  // namespace

// The name lookup is Windows' own, bounded by its resolver.
Socket connect_to(const std::string& host, const std::string& port, Clock::time_point deadline,
                  Failure& why) {
  start_winsock();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr) {
    why = Failure::kHostNotFound;
    return kNoSocket;
  }
  why = Failure::kOpenFailed;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    SOCKET s = INVALID_SOCKET;
    const int error = connect_one(*a, deadline, &s);
    if (error == 0) {
      ::freeaddrinfo(found);
      why = Failure::kNone;
      return static_cast<Socket>(s);
    }
    if (error == WSAECONNREFUSED) why = Failure::kConnectionRefused;
    if (Clock::now() >= deadline) break;
  }
  ::freeaddrinfo(found);
  return kNoSocket;
}

Wait wait_for(Socket socket, bool for_write, Clock::time_point until) {
  const SOCKET s = static_cast<SOCKET>(socket);
  fd_set ready, failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  timeval wait = time_until(until);
  const int r = ::select(0, for_write ? nullptr : &ready, for_write ? &ready : nullptr, &failed, &wait);
  if (r > 0) return Wait::kReady;
  return r == 0 ? Wait::kTimeout : Wait::kFailed;
}

int send_some(Socket socket, const std::uint8_t* data, int count) {
  const int n = ::send(static_cast<SOCKET>(socket), reinterpret_cast<const char*>(data), count, 0);
  if (n > 0) return n;
  if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) return kWouldBlock;
  return kBroken;
}

int receive_some(Socket socket, std::uint8_t* buffer, int count) {
  const int n = ::recv(static_cast<SOCKET>(socket), reinterpret_cast<char*>(buffer), count, 0);
  if (n > 0) return n;
  if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) return kWouldBlock;
  return kBroken;
}

void close_socket(Socket socket) {
  if (socket != kNoSocket) ::closesocket(static_cast<SOCKET>(socket));
}

}  // namespace tavik::net
