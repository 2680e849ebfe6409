#include "serial/transport/serial_port.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "serial/names/port_map.h"
#include "serial/transport/port_transport.h"
#include "serial/transport/wire_trace.h"

namespace tavik {
namespace {

// A device path or a network port is used whole: cut, it would name
// another file or host, or none.
bool keeps_whole(const char* port_name) { return port_name[0] == '/' || is_port_url(port_name); }

}  // namespace

std::string port_to_open(const char* port_name) {
  if (port_name == nullptr) return {};
  std::string mapped = mapped_port(port_name);
  return mapped.empty() ? std::string(port_name) : mapped;
}

std::string port_name_problem(const char* port_name) {
  if (port_name == nullptr || port_name[0] == '\0') return "no port name";
  if (keeps_whole(port_name) && std::strlen(port_name) > static_cast<std::size_t>(kPortPathMax))
    return "longer than " + std::to_string(kPortPathMax) + " characters";
  const std::string target = port_to_open(port_name);
  PortUrl url;
  return is_port_url(target) ? parse_port_url(target, url) : std::string();
}

SerialPort* serial_port_create(const char* port_name, int timeout_ms, Result* why) {
  Result ignored;
  if (why == nullptr) why = &ignored;
  *why = Failure::kBadArgument;
  if (timeout_ms <= 0 || !port_name_problem(port_name).empty()) return nullptr;
  *why = Failure::kOpenFailed;
  auto* port = new (std::nothrow) SerialPort;
  if (port == nullptr) return nullptr;
  port->timeout_ms = timeout_ms;
  serial_port_configure(port, port_name, kBaudRate, 8, 0, 0, 0);
  serial_port_set_timeouts(port, timeout_ms);
  if (serial_port_open(port, why) < 0) {
    serial_port_destroy(port);
    return nullptr;
  }
  *why = Result::ok();
  return port;
}

void serial_port_destroy(SerialPort* port) {
  if (port == nullptr) return;
  serial_port_close(port);
  delete port;
}

void serial_port_configure(SerialPort* port, const char* port_name, int baud_rate, std::uint8_t data_bits,
                           std::uint8_t parity, std::uint8_t stop_bits, std::uint8_t flow_control) {
  std::memset(port->port_name, 0, sizeof port->port_name);
  // "COM<n>" style names are cut as the boards' tools always did; a device
  // path such as /dev/serial/by-id/usb-...-port0 or a network port is often
  // longer.
  const int keep = keeps_whole(port_name) ? kPortPathMax : kPortNameMax;
  std::strncpy(port->port_name, port_name, static_cast<std::size_t>(keep));
  port->baud_rate = baud_rate;
  port->data_bits = data_bits;
  port->parity = parity;
  port->stop_bits = stop_bits;
  port->flow_control = flow_control;
}

int serial_port_set_timeouts(SerialPort* port, int timeout_ms) {
  port->timeout_ms = timeout_ms;
  if (port->transport != nullptr) port->transport->apply_timeouts(timeout_ms);
  return 0;
}

int serial_port_open(SerialPort* port, Result* why) {
  if (port->transport != nullptr) return 0;
  Result failure(Failure::kOpenFailed);
  // A COM name may be mapped to a network port (port_map.h); the mapping is
  // looked up afresh at every open, as a device's name is.
  const std::string name = port_to_open(port->port_name);
  if (is_port_url(name)) {
    port->loss = Failure::kConnectionLost;
    PortUrl url;
    Failure net_failure = Failure::kOpenFailed;
    if (!parse_port_url(name, url).empty()) {
      net_failure = Failure::kBadArgument;
    } else if (url.scheme == PortScheme::kRfc2217) {
      port->transport = rfc2217_open(url, port->timeout_ms, net_failure);
    } else {
      port->transport = tcp_open(url, port->timeout_ms, net_failure);
    }
    failure = Result(net_failure);
    // Turned away as busy: so are the calls until an open gets through.
    if (net_failure == Failure::kPortBusy) port->loss = Failure::kPortBusy;
  } else {
    port->loss = Failure::kDeviceLost;
    port->transport = device_open(*port, failure);
  }
  port->os_error = port->transport != nullptr ? 0 : failure.os_error;
  if (port->transport != nullptr) {
    port->transport->trace_board = port->trace_board;
    return 0;
  }
  if (why != nullptr) *why = failure;
  return -1;
}

namespace {

// Adds bytes to one of the trace buffers; a full buffer is written out first.
void gather(const SerialPort& port, const char* what, std::uint8_t* log, int& length,
            const std::uint8_t* data, int count) {
  for (int i = 0; i < count; ++i) {
    if (length == static_cast<int>(sizeof port.trace_rx)) {
      wire_trace_line(port.trace_board, what, log, length);
      length = 0;
    }
    log[length++] = data[i];
  }
}

int traced_read(SerialPort* port, std::uint8_t* buffer, int count, int timeout_ms, int expect) {
  const int got = port->transport->read(buffer, count, timeout_ms, expect);
  if (port->trace_board != nullptr && got > 0)
    gather(*port, "rx", port->trace_rx, port->trace_rx_len, buffer, got);
  return got;
}

}  // namespace

int serial_port_write(SerialPort* port, const std::uint8_t* data, int count) {
  if (port == nullptr || port->transport == nullptr) return -1;
  if (count <= 0) return 0;
  if (port->trace_board != nullptr) wire_trace_line(port->trace_board, "tx", data, count);
  return port->transport->write(data, count, port->timeout_ms);
}

int serial_port_read(SerialPort* port, std::uint8_t* buffer, int count) {
  if (port == nullptr || port->transport == nullptr) return -1;
  if (count <= 0) return 0;
  return traced_read(port, buffer, count, port->timeout_ms, 0);
}

int serial_port_read_within(SerialPort* port, std::uint8_t* buffer, int count, int timeout_ms, int expect) {
  if (port == nullptr || port->transport == nullptr) return -1;
  if (count <= 0) return 0;
  return traced_read(port, buffer, count, std::clamp(timeout_ms, 0, port->timeout_ms), expect);
}

int serial_port_timeout(const SerialPort* port) { return port != nullptr ? port->timeout_ms : 0; }

int serial_port_purge(SerialPort* port) {
  if (port == nullptr || port->transport == nullptr) return -1;
  if (port->trace_board != nullptr) {
    std::uint8_t pending[256];
    const int got = port->transport->read_pending(pending, sizeof pending);
    // Before anything was read: a late reply to an earlier request, shown
    // at once; after: shown after the reply read so far.
    if (got > 0 && port->trace_rx_len == 0) wire_trace_line(port->trace_board, "purged", pending, got);
    if (got > 0 && port->trace_rx_len > 0) {
      gather(*port, "purged", port->trace_purged, port->trace_purged_len, pending, got);
    }
  }
  return port->transport->purge();
}

void serial_port_trace(SerialPort* port, const char* board) {
  if (port == nullptr || !wire_trace_on()) return;
  port->trace_board = board;
  if (port->transport != nullptr) port->transport->trace_board = board;
}

void serial_port_trace_end(SerialPort* port, const char* what, const char* outcome) {
  if (port == nullptr || port->trace_board == nullptr) return;
  if (outcome != nullptr || port->trace_rx_len > 0) {
    wire_trace_line(port->trace_board, what, port->trace_rx, port->trace_rx_len, outcome);
  }
  if (port->trace_purged_len > 0) {
    wire_trace_line(port->trace_board, "purged", port->trace_purged, port->trace_purged_len);
  }
  port->trace_rx_len = port->trace_purged_len = 0;
}

int serial_port_close(SerialPort* port) {
  if (port == nullptr || port->transport == nullptr) return 0;
  if (port->transport->lost()) {
    port->os_error = port->transport->lost_error();
    if (port->transport->lost_as() != Failure::kNone) port->loss = port->transport->lost_as();
  }
  delete port->transport;
  port->transport = nullptr;
  return 0;
}

bool serial_port_is_open(const SerialPort* port) { return port != nullptr && port->transport != nullptr; }

bool serial_port_lost(const SerialPort* port) { return serial_port_is_open(port) && port->transport->lost(); }

Failure serial_port_loss(const SerialPort* port) {
  if (port == nullptr) return Failure::kDeviceLost;
  if (serial_port_lost(port) && port->transport->lost_as() != Failure::kNone)
    return port->transport->lost_as();
  return port->loss;
}

int serial_port_os_error(const SerialPort* port) {
  if (port == nullptr) return 0;
  return serial_port_lost(port) ? port->transport->lost_error() : port->os_error;
}

}  // namespace tavik
