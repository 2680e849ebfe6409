#include "serial/exchange/board_connection.h"

#include "serial/transport/wire_trace.h"

namespace tavik {

namespace {

// Keeps commands out from the moment an open or close begins until it is done.
class PendingChange {
 public:
  explicit PendingChange(BoardConnection& connection) : connection_(connection) {
    ++connection_.pending;
    ++connection_.generation;
  }
  ~PendingChange() { --connection_.pending; }
  PendingChange(const PendingChange&) = delete;
  PendingChange& operator=(const PendingChange&) = delete;

 private:
  BoardConnection& connection_;
};

}  // namespace

int connection_open(BoardConnection& connection, const char* port_name, int timeout_ms, Result* why) {
  PendingChange change(connection);
  LineLock::Guard guard(connection.lock, LineLock::Turn::kMotion);
  serial_port_destroy(connection.port);
  wire_trace_setup();
  connection.port = serial_port_create(port_name, timeout_ms, why);
  serial_port_trace(connection.port, connection.board);
  connection.next_reopen = {};
  connection.late.open = false;
  connection.late.seen = 0;
  return connection.port != nullptr ? 0 : -1;
}

void connection_close(BoardConnection& connection) {
  PendingChange change(connection);
  LineLock::Guard guard(connection.lock, LineLock::Turn::kMotion);
  serial_port_destroy(connection.port);
  connection.port = nullptr;
}

Result reopen_if_lost(BoardConnection& connection) {
  if (serial_port_is_open(connection.port)) return Result::ok();
  const auto now = std::chrono::steady_clock::now();
  if (now < connection.next_reopen) return serial_port_loss(connection.port);
  connection.next_reopen = now + kReopenInterval;
  if (serial_port_open(connection.port) != 0) return serial_port_loss(connection.port);
  connection.late.open = false;  // nothing of the old device's replies is on the new line
  return Result::ok();
}

void end_command(BoardConnection& connection) {
  // Closing at once releases the device (and its lock) for the adapter's
  // return; the first reopen may follow with the next command.
  if (serial_port_lost(connection.port)) serial_port_close(connection.port);
}

}  // namespace tavik
