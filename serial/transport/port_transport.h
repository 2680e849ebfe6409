// The SerialPort record and the seam between the portable part
// (serial_port.cpp) and the transports behind it.
#pragma once

#include <cstdint>

#include "serial/names/port_url.h"
#include "serial/transport/serial_port.h"

namespace tavik {

// One open port's transport: the platform's serial device
// (serial_port_posix.cpp, serial_port_win32.cpp), raw bytes over TCP
// (serial_port_tcp.cpp) or Telnet's COM-PORT-OPTION over TCP
// (serial_port_rfc2217.cpp). Each transfer keeps the serial port's
// contract (serial_port.h); destroying the object closes it (for a device:
// lowers RTS then DTR, purges and closes).
struct PortTransport {
  PortTransport() = default;
  PortTransport(const PortTransport&) = delete;
  PortTransport& operator=(const PortTransport&) = delete;
  virtual ~PortTransport() = default;
  virtual void apply_timeouts(int timeout_ms) = 0;
  virtual int write(const std::uint8_t* data, int count, int timeout_ms) = 0;
  // Reads as serial_port_read_within does; `expect` as there (0: no hint).
  virtual int read(std::uint8_t* buffer, int count, int timeout_ms, int expect) = 0;
  virtual int purge() = 0;
  // Reads what has arrived without waiting for more (for the wire trace of a purge).
  virtual int read_pending(std::uint8_t* buffer, int count) = 0;
  // True once a transfer found the device gone (hung up, removed) or the
  // connection dropped: it will never work again and only a new open can
  // bring the port back.
  virtual bool lost() const = 0;
  // The system's error with which a transfer found the device gone; 0 before,
  // or for a hang-up that came without one.
  virtual int lost_error() const { return 0; }
  // What a transfer that found the port gone fails with when the transport
  // knows better than SerialPort::loss (a network server that turned the
  // connection away as busy); kNone when it does not.
  virtual Failure lost_as() const { return Failure::kNone; }

  // The board's name in the wire trace while traced, for what a transport
  // traces of its own (an RFC 2217 server's notifications).
  const char* trace_board = nullptr;
};

struct SerialPort {
  char port_name[kPortPathMax + 1] = {};
  int baud_rate = kBaudRate;
  std::uint8_t data_bits = 8;
  std::uint8_t parity = 0;
  std::uint8_t stop_bits = 0;
  std::uint8_t flow_control = 0;
  int timeout_ms = 0;
  PortTransport* transport = nullptr;  // non-null exactly while the port is open
  int os_error = 0;                    // of the last failed open, or of the device lost before a close
  // What a transfer that finds the port gone fails with: device lost, or
  // connection lost for a network port. Set by each open; a close keeps the
  // transport's own reason (PortTransport::lost_as) until the next open.
  Failure loss = Failure::kDeviceLost;
  // The wire trace: the board's name while traced, and the bytes of the
  // exchange in progress, written out when it ends.
  const char* trace_board = nullptr;
  std::uint8_t trace_rx[512] = {};
  int trace_rx_len = 0;
  std::uint8_t trace_purged[512] = {};
  int trace_purged_len = 0;
};

// Opens port.port_name, a device name, exclusively with the stored settings
// and time-outs. Returns the transport, or nullptr when the device cannot be
// opened, and then sets why (with the system's error where there was one).
PortTransport* device_open(const SerialPort& port, Result& why);
// Connects to url (a tcp:// or rfc2217:// port, port_url.h) within
// timeout_ms, never more than kConnectBoundMs, and sets the line up.
PortTransport* tcp_open(const PortUrl& url, int timeout_ms, Failure& why);
PortTransport* rfc2217_open(const PortUrl& url, int timeout_ms, Failure& why);

}  // namespace tavik
