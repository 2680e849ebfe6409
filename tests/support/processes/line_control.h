// A program that takes one command per line on a serial line and answers each
// with one line: the board simulator's control port (tavik-sim --control), or
// the host of the virtual machine of the real-driver checks.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/transport/serial_port.h"
#include "tests/support/scenarios/request_frame.h"

namespace tavik::test {

class LineControl {
 public:
  explicit LineControl(const char* port_name) : port_(serial_port_create(port_name, 200)) {}
  ~LineControl() { serial_port_destroy(port_); }
  LineControl(const LineControl&) = delete;
  LineControl& operator=(const LineControl&) = delete;

  bool connected() const { return port_ != nullptr; }

  // Runs one command and returns its answer line, or "" when none came
  // within `timeout`.
  std::string run(const std::string& command, std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    if (port_ == nullptr) return "";
    serial_port_purge(port_);
    const std::string line = command + "\n";
    serial_port_write(port_, reinterpret_cast<const std::uint8_t*>(line.data()),
                      static_cast<int>(line.size()));
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      std::uint8_t chunk[256];
      const int n = serial_port_read(port_, chunk, sizeof chunk);
      if (n < 0) break;
      answer.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(n));
      if (!answer.empty() && answer.back() == '\n') {
        answer.pop_back();
        if (!answer.empty() && answer.back() == '\r') answer.pop_back();
        return answer;
      }
    }
    return "";
  }

  // The simulator's "received": the raw bytes the board ("psb" or "drvb")
  // received since the last ask.
  std::vector<std::uint8_t> received(const std::string& board) {
    return received_bytes(run("received " + board));
  }

 private:
  SerialPort* port_ = nullptr;
};

}  // namespace tavik::test
