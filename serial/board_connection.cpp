#include "serial/board_connection.h"

#include "serial/reply_readers.h"

namespace tavik {

int connection_open(BoardConnection& connection, const char* port_name, int timeout_ms) {
  ++connection.generation;
  std::lock_guard<std::mutex> guard(connection.lock);
  serial_port_destroy(connection.port);
  connection.port = serial_port_create(port_name, timeout_ms);
  return connection.port != nullptr ? 0 : -1;
}

void connection_close(BoardConnection& connection) {
  ++connection.generation;
  std::lock_guard<std::mutex> guard(connection.lock);
  serial_port_destroy(connection.port);
  connection.port = nullptr;
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
