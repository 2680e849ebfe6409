// What the system's serial device is as a port's transport on every system
// (serial_port_posix.cpp and serial_port_win32.cpp each derive their
// DevicePort from it, adding the system's handles and calls): a read-ahead
// buffer, which serves the reply readers' one-byte reads without a call
// into the system while bytes are pending, and the device found gone.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "serial/transport/port_transport.h"

namespace tavik {

struct DeviceTransport : PortTransport {
  bool lost() const override { return removed; }
  int lost_error() const override { return removed ? removed_error : 0; }

  // A transfer found the device gone (hung up, removed), with the system's
  // error that said so (0: a hang-up without one).
  void mark_removed(int error) {
    removed = true;
    removed_error = error;
  }
  bool ahead_empty() const { return ahead_pos == ahead_len; }
  // n bytes just read into `ahead` (none, for a read that failed).
  void took_ahead(int n) {
    ahead_pos = 0;
    ahead_len = std::max(n, 0);
  }
  // Copies up to count bytes out of the read-ahead buffer; returns how many.
  int take_ahead(std::uint8_t* buffer, int count) {
    const int take = std::min(count, ahead_len - ahead_pos);
    if (take <= 0) return 0;
    std::memcpy(buffer, ahead + ahead_pos, static_cast<std::size_t>(take));
    ahead_pos += take;
    return take;
  }
  void drop_ahead() { ahead_pos = ahead_len = 0; }

  bool removed = false;
  int removed_error = 0;
  std::uint8_t ahead[256] = {};
  int ahead_pos = 0;
  int ahead_len = 0;
};

}  // namespace tavik
