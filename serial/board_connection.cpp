#include "serial/board_connection.h"

#include <cstdio>

#include "serial/reply_readers.h"
#include "serial/wire_trace.h"

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

int connection_open(BoardConnection& connection, const char* port_name, int timeout_ms, Failure* why) {
  PendingChange change(connection);
  std::lock_guard<std::mutex> guard(connection.lock);
  serial_port_destroy(connection.port);
  wire_trace_setup();
  connection.port = serial_port_create(port_name, timeout_ms, why);
  serial_port_trace(connection.port, connection.board);
  connection.next_reopen = {};
  return connection.port != nullptr ? 0 : -1;
}

void connection_close(BoardConnection& connection) {
  PendingChange change(connection);
  std::lock_guard<std::mutex> guard(connection.lock);
  serial_port_destroy(connection.port);
  connection.port = nullptr;
}

Result reopen_if_lost(BoardConnection& connection) {
  if (serial_port_is_open(connection.port)) return Result::ok();
  const auto now = std::chrono::steady_clock::now();
  if (now < connection.next_reopen) return Failure::kDeviceLost;
  connection.next_reopen = now + kReopenInterval;
  return serial_port_open(connection.port) == 0 ? Result::ok() : Result(Failure::kDeviceLost);
}

void end_exchange(BoardConnection& connection, Result result) {
  if (wire_trace_on()) {
    char outcome[32];
    if (result.failure == Failure::kRefused && result.status > 0x20 && result.status < 0x7F) {
      std::snprintf(outcome, sizeof outcome, "refused (%c)", static_cast<char>(result.status));
    } else if (result.failure == Failure::kRefused) {
      std::snprintf(outcome, sizeof outcome, "refused (0x%02x)", result.status);
    } else {
      std::snprintf(outcome, sizeof outcome, "%s", failure_name(result.failure));
    }
    serial_port_trace_end(connection.port, outcome);
  }
  // Closing at once releases the device (and its lock) for the adapter's
  // return; the first reopen may follow with the next command.
  if (serial_port_lost(connection.port)) serial_port_close(connection.port);
}

void send_request(SerialPort* port, const std::uint8_t* frame, int length) {
  serial_port_purge(port);
  serial_port_write(port, frame, length);
}

Result exchange_status(SerialPort* port, std::uint8_t* frame, int length, bool purge_after) {
  send_request(port, frame, length);
  const Result result = read_reply(port, frame);
  if (purge_after) serial_port_purge(port);
  return result;
}

}  // namespace tavik
