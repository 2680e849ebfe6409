// One board's connection inside a library: the open port (or none) and the
// lock that serialises every exchange on it. Opening, closing and every
// command take the lock, so closing waits for a command in progress and a
// command never sees a port that is being freed.
//
// Opening and closing first count themselves in `generation`; a command that
// was already waiting for the lock then gives up when it gets it, so a
// close waits for the exchange in progress only, not for every caller
// queued behind it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "serial/command_result.h"
#include "serial/serial_port.h"

namespace tavik {

struct BoardConnection {
  std::mutex lock;
  SerialPort* port = nullptr;  // guarded by lock; null while closed
  std::atomic<unsigned> generation{0};
};

// Closes any open port, then opens port_name. 0 when a connection is open
// afterwards, -1 when none is.
int connection_open(BoardConnection& connection, const char* port_name, int timeout_ms);

// Closes the port if one is open.
void connection_close(BoardConnection& connection);

// Runs body(port) under the connection's lock and returns its result, or
// fails without running it: not open when no connection is open, busy when
// the connection was opened or closed while this call waited for the lock.
template <class Body>
Result with_connection(BoardConnection& connection, Body&& body) {
  const unsigned generation = connection.generation.load();
  std::lock_guard<std::mutex> guard(connection.lock);
  if (connection.generation.load() != generation) return Failure::kBusy;
  if (connection.port == nullptr) return Failure::kNotOpen;
  return body(connection.port);
}

// Discards whatever the board sent before (a late reply to an earlier
// request), then writes the request. Nothing is purged between the write and
// the reading of the reply, so a reply that comes at once is kept.
void send_request(SerialPort* port, const std::uint8_t* frame, int length);

// send_request, then read_reply into frame; purges once more afterwards when
// purge_after is set. Returns read_reply's result.
Result exchange_status(SerialPort* port, std::uint8_t* frame, int length, bool purge_after);

}  // namespace tavik
