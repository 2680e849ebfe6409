// Readers of the boards' reply frames. Each reads one byte per port read
// into a zero-filled buffer of kFrameSize bytes, dropping bytes ahead of STX,
// so a frame is judged as soon as its last byte has arrived.
//
// All return 0 for an accepted frame and -1 otherwise. A read that yields no
// byte (time-out, removed device), a frame too long for the buffer, or a
// reply still incomplete after the port's time-out plus the wire time of a
// full buffer purges the port and fails; the frame checks below fail without
// purging unless said otherwise.
#pragma once

#include <cstdint>
#include <span>

#include "serial/serial_port.h"

namespace tavik {

// Status reply: STX, status byte '0', data, ETX, BCC over status..ETX.
int read_reply(SerialPort* port, std::uint8_t* buf);

// Text reply: STX, text, ETX, BCC. No status byte is checked.
int read_text_reply(SerialPort* port, std::uint8_t* buf);

// Counted reply: STX, N, N data bytes (any values), ETX at N+2, BCC over
// positions 1..N+2 at N+3. Purges the port after the frame. On success
// *count receives N.
int read_counted_reply(SerialPort* port, std::uint8_t* buf, int* count);

// Fixed reply of 12 bytes: STX, nine data bytes, ETX at 10, BCC over 1..10
// at 11. Purges the port after the frame.
int read_fixed_reply(SerialPort* port, std::uint8_t* buf);

// The bytes of a read frame from position `from` up to its first ETX (the
// ETX excluded); empty when there is no ETX in the buffer.
std::span<const std::uint8_t> reply_body(const std::uint8_t* buf, int from);

}  // namespace tavik
