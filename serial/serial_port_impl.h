// The SerialPort record and the seam between the portable part
// (serial_port.cpp) and one platform backend (serial_port_posix.cpp, later
// serial_port_win32.cpp). A backend implements the os_* functions below.
#pragma once

#include <cstdint>

#include "serial/serial_port.h"

namespace tavik {

struct SerialPortOs;  // the backend's own state, defined by the backend

struct SerialPort {
  char port_name[kPortPathMax + 1] = {};
  int baud_rate = kBaudRate;
  std::uint8_t data_bits = 8;
  std::uint8_t parity = 0;
  std::uint8_t stop_bits = 0;
  std::uint8_t flow_control = 0;
  int timeout_ms = 0;
  SerialPortOs* os = nullptr;  // non-null exactly while the port is open
  int os_error = 0;            // of the last failed open, or of the device lost before a close
  // The wire trace: the board's name while traced, and the bytes of the
  // exchange in progress, written out when it ends.
  const char* trace_board = nullptr;
  std::uint8_t trace_rx[512] = {};
  int trace_rx_len = 0;
  std::uint8_t trace_purged[512] = {};
  int trace_purged_len = 0;
};

// Opens port->port_name exclusively with the stored settings and time-outs.
// Returns the backend state, or nullptr when the device cannot be opened,
// and then sets why (with the system's error where there was one).
SerialPortOs* os_open(const SerialPort& port, Result& why);
void os_apply_timeouts(SerialPortOs* os, int timeout_ms);
int os_write(SerialPortOs* os, const std::uint8_t* data, int count, int timeout_ms);
// Reads as serial_port_read_within does; `expect` as there (0: no hint).
int os_read(SerialPortOs* os, std::uint8_t* buffer, int count, int timeout_ms, int expect);
int os_purge(SerialPortOs* os);
// Reads what has arrived without waiting for more (for the wire trace of a purge).
int os_read_pending(SerialPortOs* os, std::uint8_t* buffer, int count);
// True once a transfer found the device gone (hung up, removed): it will
// never work again and only a new open can bring the port back.
bool os_lost(const SerialPortOs* os);
// The system's error with which a transfer found the device gone; 0 before,
// or for a hang-up that came without one.
int os_lost_error(const SerialPortOs* os);
// Lowers RTS then DTR, purges, closes the device and frees the state.
void os_close(SerialPortOs* os);

}  // namespace tavik
