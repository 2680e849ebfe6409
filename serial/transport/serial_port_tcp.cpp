// Raw TCP transport (tcp://HOST:PORT, socket://HOST:PORT): the bytes of the
// line as they are, to a server such as ser2net's tcp accepter that holds
// the serial port. The line's settings are the server's.
#include <algorithm>
#include <new>

#include "serial/transport/net_stream.h"

namespace tavik {

PortTransport* tcp_open(const PortUrl& url, int timeout_ms, Failure& why) {
  const auto deadline = net::Clock::now() + std::chrono::milliseconds(std::min(timeout_ms, kConnectBoundMs));
  const net::Socket socket = net::connect_to(url.host, url.port, deadline, why);
  if (socket == net::kNoSocket) return nullptr;
  auto* port = new (std::nothrow) StreamPort(socket);
  if (port == nullptr) {
    net::close_socket(socket);
    why = Failure::kOpenFailed;
  }
  return port;
}

}  // namespace tavik
