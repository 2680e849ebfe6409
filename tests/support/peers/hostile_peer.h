// A network peer that never stops misbehaving, for the bounds of the
// network ports: it listens on 127.0.0.1, at a port the system picks, and
// sends each connection the same bytes again and again as fast as the
// socket takes them (an empty flood: nothing at all). With agrees_com_port
// it first answers an RFC 2217 open as a server would (DO COM-PORT-OPTION,
// each setting echoed back) and floods only once the line is set. What the
// client sends is read and dropped.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tavik::test {

using Bytes = std::vector<std::uint8_t>;

struct HostileBehaviour {
  Bytes flood;
  bool agrees_com_port = false;
};

// The floods, each a block repeated without end.
inline Bytes random_bytes() {
  std::mt19937 random(7);
  Bytes bytes(65536);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}
inline Bytes repeated(const Bytes& unit, std::size_t times) {
  Bytes bytes;
  for (std::size_t i = 0; i < times; ++i) bytes.insert(bytes.end(), unit.begin(), unit.end());
  return bytes;
}
// 02 30 03 33: an acknowledgement frame.
inline Bytes ack_frames() { return repeated({0x02, 0x30, 0x03, 0x33}, 4096); }
// Telnet DO, WILL, DONT and WONT for options the client declines or ignores.
inline Bytes negotiation_storm() {
  return repeated({0xFF, 0xFD, 0x01, 0xFF, 0xFB, 0x01, 0xFF, 0xFD, 0x18, 0xFF, 0xFB, 0x1F, 0xFF, 0xFE, 0x05,
                   0xFF, 0xFC, 0x05},
                  1024);
}
// A subnegotiation that is never ended: IAC SB COM-PORT-OPTION, then its
// value bytes for ever (the block repeats without a second IAC SB).
inline Bytes endless_subnegotiation() {
  Bytes bytes = repeated({0x01, 0x00, 0x00, 0xC2}, 4096);
  bytes[0] = 0xFF;
  bytes[1] = 0xFA;
  bytes[2] = 0x2C;
  return bytes;
}

class HostilePeer {
 public:
  explicit HostilePeer(HostileBehaviour behaviour) : behaviour_(std::move(behaviour)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listener_, 8) == 0 &&
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
      port_ = ntohs(a.sin_port);
    }
    thread_ = std::thread([this] { run(); });
  }
  ~HostilePeer() {
    const std::uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    thread_.join();
    for (const Client& c : clients_) ::close(c.fd);
    ::close(listener_);
    ::close(wake_);
  }
  HostilePeer(const HostilePeer&) = delete;
  HostilePeer& operator=(const HostilePeer&) = delete;

  // "tcp://127.0.0.1:PORT" for scheme "tcp".
  std::string url(const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(port_);
  }

 private:
  enum class Telnet { kData, kCommand, kOption, kSub, kSubCommand };
  struct Client {
    int fd;
    bool flooding;
    Bytes out;  // answers to send before the flood goes on
    std::size_t at = 0;
    Telnet state = Telnet::kData;
    Bytes sub;
  };

  void run() {
    for (;;) {
      std::vector<pollfd> fds = {{wake_, POLLIN, 0}, {listener_, POLLIN, 0}};
      for (const Client& c : clients_) {
        const bool sends = !c.out.empty() || (c.flooding && !behaviour_.flood.empty());
        fds.push_back({c.fd, static_cast<short>(POLLIN | (sends ? POLLOUT : 0)), 0});
      }
      if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
      if (fds[0].revents != 0) return;
      for (std::size_t i = clients_.size(); i-- > 0;) {
        if (!serve(clients_[i], fds[i + 2].revents)) {
          ::close(clients_[i].fd);
          clients_.erase(clients_.begin() + static_cast<long>(i));
        }
      }
      if (fds[1].revents & POLLIN) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) clients_.push_back({fd, !behaviour_.agrees_com_port, {}, 0, Telnet::kData, {}});
      }
    }
  }

  // False once the client has gone.
  bool serve(Client& c, short events) {
    if (events & (POLLIN | POLLHUP | POLLERR)) {
      std::uint8_t chunk[4096];
      const ssize_t n = ::read(c.fd, chunk, sizeof chunk);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
      if (n > 0 && !c.flooding) answer(c, chunk, static_cast<int>(n));
    }
    if (!(events & POLLOUT)) return true;
    if (!c.out.empty()) {
      const ssize_t n = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
      if (n > 0) c.out.erase(c.out.begin(), c.out.begin() + n);
      return n > 0 || errno == EAGAIN || errno == EINTR;
    }
    const Bytes& flood = behaviour_.flood;
    if (!c.flooding || flood.empty()) return true;
    const ssize_t n = ::send(c.fd, flood.data() + c.at, flood.size() - c.at, MSG_NOSIGNAL);
    if (n > 0) c.at = (c.at + static_cast<std::size_t>(n)) % flood.size();
    return n > 0 || errno == EAGAIN || errno == EINTR;
  }

  // The server's side of an RFC 2217 open: DO for the client's WILL
  // COM-PORT-OPTION, each setting echoed with the server's code; the
  // flood begins after the stop size's answer.
  void answer(Client& c, const std::uint8_t* bytes, int count) {
    constexpr std::uint8_t kIac = 0xFF, kSb = 0xFA, kSe = 0xF0, kWill = 0xFB, kComPort = 0x2C;
    for (int i = 0; i < count; ++i) {
      const std::uint8_t b = bytes[i];
      switch (c.state) {
        case Telnet::kData:
          if (b == kIac) c.state = Telnet::kCommand;
          break;
        case Telnet::kCommand:
          c.state = b == kSb ? Telnet::kSub : b >= kWill && b < kIac ? Telnet::kOption : Telnet::kData;
          c.sub = {b};
          if (b == kSb) c.sub.clear();
          break;
        case Telnet::kOption:
          if (c.sub == Bytes{kWill} && b == kComPort) c.out.insert(c.out.end(), {kIac, 0xFD, kComPort});
          c.sub.clear();
          c.state = Telnet::kData;
          break;
        case Telnet::kSub:
          if (b == kIac) {
            c.state = Telnet::kSubCommand;
          } else {
            c.sub.push_back(b);
          }
          break;
        case Telnet::kSubCommand:
          c.state = Telnet::kSub;
          if (b != kSe) break;
          c.state = Telnet::kData;
          if (c.sub.size() < 2 || c.sub[0] != kComPort) break;
          c.out.insert(c.out.end(), {kIac, kSb, kComPort, static_cast<std::uint8_t>(c.sub[1] + 100)});
          c.out.insert(c.out.end(), c.sub.begin() + 2, c.sub.end());
          c.out.insert(c.out.end(), {kIac, kSe});
          if (c.sub[1] == 4) c.flooding = true;  // the stop size, the last setting awaited
          break;
      }
    }
  }

  const HostileBehaviour behaviour_;
  int listener_ = -1;
  int port_ = -1;
  int wake_ = ::eventfd(0, EFD_CLOEXEC);
  std::vector<Client> clients_;
  std::thread thread_;
};

}  // namespace tavik::test
