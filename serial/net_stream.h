// What the network transports share: a connected TCP socket with the serial
// port's transfers over it. Reads keep the serial port's time-outs (the
// whole time-out until the first byte, then kReadGapMs between bytes), so
// a reply never waits longer than on a local port. A dropped connection
// makes the port lost, as a pulled adapter does.
#pragma once

#include <cstdint>

#include "serial/net_socket.h"
#include "serial/serial_port_impl.h"

namespace tavik {

class StreamPort : public SerialPortOs {
 public:
  explicit StreamPort(net::Socket socket) : socket_(socket) {}
  ~StreamPort() override;

  void apply_timeouts(int) override {}
  int write(const std::uint8_t* data, int count, int timeout_ms) override;
  int read(std::uint8_t* buffer, int count, int timeout_ms, int expect) override;
  int purge() override;
  int read_pending(std::uint8_t* buffer, int count) override;
  bool lost() const override { return lost_; }

 protected:
  // Sends bytes as they go on the wire, all of them by until; false when
  // the time is up or the connection failed (then lost).
  bool send_all(const std::uint8_t* data, int count, net::Clock::time_point until);
  // Receives what the socket holds, waiting for something until `until`:
  // true when bytes came (absorbed, perhaps no data among them), false on a
  // time-out or a dropped connection (then lost).
  bool receive(net::Clock::time_point until);
  // Takes received bytes: raw TCP delivers them all as data.
  virtual void absorb(const std::uint8_t* bytes, int count);
  // Adds a data byte for the readers.
  void deliver(std::uint8_t byte);
  bool has_data() const { return pos_ < len_; }
  // Drops the data received so far; true when there was some.
  bool discard();
  void drop_data() { pos_ = len_ = 0; }

  net::Socket socket_;
  bool lost_ = false;

 private:
  int take(std::uint8_t* buffer, int count);

  std::uint8_t data_[4096] = {};
  int pos_ = 0;
  int len_ = 0;
};

}  // namespace tavik
