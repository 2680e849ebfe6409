// The serial line object shared by every board connection: fixed line
// settings (115200 8N1, no flow control, DTR and RTS raised while open) and
// time-outs that bound every read and write.
//
// Result convention: operations return a count (0 or more) or 0 on success,
// and -1 on failure. A read that ends by time-out with nothing received
// returns 0. The object has no lock: its owner serialises all calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "serial/failures/command_result.h"

namespace tavik {

struct SerialPort;

// A port name is cut to this many characters, except a device path (a name
// starting with '/'), which is used whole up to kPortPathMax characters.
inline constexpr int kPortNameMax = 32;
inline constexpr int kPortPathMax = 4095;
inline constexpr int kBaudRate = 115200;
// Longest pause between two received bytes once a read has started.
inline constexpr int kReadGapMs = 10;

// Creates and opens a port; nullptr when the device cannot be opened, the
// time-out is not positive or a device path is longer than kPortPathMax, and
// then *why (when given) says which: bad argument, missing, port busy, not a
// serial device, permission denied or cannot be opened, with the system's
// error where there was one; for a network port (port_url.h, also a COM name
// mapped to one, port_map.h) connection refused, host not found, or not a
// serial device when the server does not speak RFC 2217 as asked.
SerialPort* serial_port_create(const char* port_name, int timeout_ms, Result* why = nullptr);
// The name an open of port_name goes by: the network port that a COM name
// is mapped to (port_map.h), else the name itself. port_target (port_map.h)
// is where that name leads, a device resolved.
std::string port_to_open(const char* port_name);
// Why create refuses port_name as a bad argument ("no port name", a
// network port name's fault such as "unknown scheme telnet://, ..."), or
// "" for a name it takes.
std::string port_name_problem(const char* port_name);
// Closes the port if open and releases it. Accepts nullptr.
void serial_port_destroy(SerialPort* port);

void serial_port_configure(SerialPort* port, const char* port_name, int baud_rate, std::uint8_t data_bits,
                           std::uint8_t parity, std::uint8_t stop_bits, std::uint8_t flow_control);
// Stores the time-out and applies it to the device when open. Always 0.
int serial_port_set_timeouts(SerialPort* port, int timeout_ms);
// 0 when open (also when it already was), -1 when the device cannot be
// opened, and then *why (when given) says why.
int serial_port_open(SerialPort* port, Result* why = nullptr);
// Bytes written (0 for a count of 0 or less), -1 on a closed port or failure.
// Returns once the bytes have left the port or the time-out has passed.
int serial_port_write(SerialPort* port, const std::uint8_t* data, int count);
// Bytes read: returns when count bytes arrived, when a gap of more than
// kReadGapMs follows a received byte, or after the time-out (0 if nothing
// came). -1 on a closed port or a failed or removed device.
int serial_port_read(SerialPort* port, std::uint8_t* buffer, int count);
// serial_port_read with a shorter wait: at most timeout_ms (capped at the
// port's time-out) for the first byte. `expect`, when more than 1, says that
// at least that many bytes are still on their way (the count asked for
// among them): a read that finds none received yet may first let their wire
// time pass from the arrival of the last bytes read, never past its own
// time-out, so that they are taken in one transfer instead of one each.
int serial_port_read_within(SerialPort* port, std::uint8_t* buffer, int count, int timeout_ms,
                            int expect = 0);
// The time-out given at create, in milliseconds.
int serial_port_timeout(const SerialPort* port);
// Discards received bytes and output not yet sent. -1 on a closed port,
// non-zero when done.
int serial_port_purge(SerialPort* port);
// Lowers RTS then DTR and closes the device. Always 0.
int serial_port_close(SerialPort* port);

bool serial_port_is_open(const SerialPort* port);

// When the wire trace is on: traces the port's traffic under `board` ("psb",
// "drvb") from now on. Writes go out at once, one line each; bytes read and
// bytes purged are gathered until serial_port_trace_end.
void serial_port_trace(SerialPort* port, const char* board);
// Ends the traced exchange, or a part of it: a line `what` ("rx", "late",
// "purged") with the bytes read and `outcome` (written also without bytes
// when an outcome is given), then one with the bytes purged after them.
void serial_port_trace_end(SerialPort* port, const char* what, const char* outcome);
// True when the port is open and a transfer found its device gone: the
// descriptor is dead, and only closing it lets the device come back under
// its name.
bool serial_port_lost(const SerialPort* port);
// The system's error behind the port's last failure: the open that failed,
// or the transfer that found its device gone; 0 when it gave none.
int serial_port_os_error(const SerialPort* port);
// What a lost port's calls fail with: device lost, or connection lost for a
// network port (tcp://, rfc2217://), or busy when the network port's server
// turned the connection away because another client holds the line.
Failure serial_port_loss(const SerialPort* port);

}  // namespace tavik
