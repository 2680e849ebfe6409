// What the network transports share: a connected TCP socket with the serial
// port's transfers over it. Reads keep the serial port's time-outs (the
// whole time-out until the first byte, then kReadGapMs between bytes), so
// a reply never waits longer than on a local port, however the peer sends:
// each wait is one bounded receive, and the time-out is looked at after
// each. A dropped connection makes the port lost, as a pulled adapter does.
// A purge drops what has arrived, at most kPurgeMostBytes, and returns.
//
// A board sends only its replies, and a serial server relays no more than
// its line carries: a peer that sends more than kBurstBytes plus
// kMostBytesPerMs for each millisecond since the last purge floods. Its
// bytes are not taken for a reply; a request still goes out (a stop among
// them), and a read gives the connection up as a dropped one, so the
// command fails as connection lost and the next one connects anew.
//
// A server whose line another client holds takes the connection, says so in
// a line of text ("Port already in use" from ser2net) and closes it: a
// connection that ends having carried nothing but such a line is lost as
// busy (lost_as), as a local port that another program holds.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "serial/transport/net_socket.h"
#include "serial/transport/port_transport.h"

namespace tavik {

// Far more than a board sends unasked (a late reply, a frame at most), and
// more than a serial server at 115200 baud gathers in five seconds.
inline constexpr int kPurgeMostBytes = 65536;
// A reply and a late one with each byte doubled (an RFC 2217 server's
// IAC IAC), and its notifications.
inline constexpr long long kBurstBytes = 2048;
// Four times what a line at 115200 baud carries.
inline constexpr long long kMostBytesPerMs = 4 * kBaudRate / 10 / 1000;
// The longest line of text a server closes a busy port's connection with.
inline constexpr int kBusyNoticeMax = 80;

// True when text, all a connection carried before it closed, is a server's
// notice that another client holds its line (one printable line, CR LF
// ended, saying "in use").
bool is_busy_notice(std::string_view text);

class StreamPort : public PortTransport {
 public:
  explicit StreamPort(net::Socket socket) : socket_(socket) {}
  ~StreamPort() override;

  void apply_timeouts(int) override {}
  int write(const std::uint8_t* data, int count, int timeout_ms) override;
  int read(std::uint8_t* buffer, int count, int timeout_ms, int expect) override;
  int purge() override;
  int read_pending(std::uint8_t* buffer, int count) override;
  bool lost() const override { return lost_; }
  Failure lost_as() const override { return turned_away_ ? Failure::kPortBusy : Failure::kNone; }

 protected:
  // Sends bytes as they go on the wire, all of them by until; false when
  // the time is up or the connection failed (then lost).
  bool send_all(const std::uint8_t* data, int count, net::Clock::time_point until);
  // Receives once what the socket holds, waiting for something until
  // `until` (looking once when it has passed): the number of bytes taken
  // in (absorbed, perhaps no data among them), 0 on a time-out or a
  // dropped connection (then lost).
  int receive(net::Clock::time_point until);
  // Takes received bytes: raw TCP delivers them all as data.
  virtual void absorb(const std::uint8_t* bytes, int count);
  // Adds a data byte for the readers.
  void deliver(std::uint8_t byte);
  bool has_data() const { return pos_ < len_; }
  // Drops the data received so far and what the socket holds, up to
  // kPurgeMostBytes; true when there was some data.
  bool discard();
  void drop_data() { pos_ = len_ = 0; }

  net::Socket socket_;
  bool lost_ = false;
  // The peer sent more than a line carries (kBurstBytes, kMostBytesPerMs).
  bool flooding_ = false;

 private:
  int take(std::uint8_t* buffer, int count);
  // The connection is gone: lost, and turned away when it carried only a
  // busy notice.
  void note_closed();
  void count_received(int count);

  // The first data bytes of the connection (kBusyNoticeMax of them, and
  // whether more came), and whether it closed having carried only a busy
  // notice.
  char first_[kBusyNoticeMax] = {};
  int first_len_ = 0;
  bool beyond_first_ = false;
  bool turned_away_ = false;

  // Bytes received since the last purge, or since the connection was made.
  long long received_ = 0;
  net::Clock::time_point counted_from_ = net::Clock::now();

  std::uint8_t data_[4096] = {};
  int pos_ = 0;
  int len_ = 0;
};

}  // namespace tavik
