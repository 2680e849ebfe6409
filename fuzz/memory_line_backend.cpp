// A SerialPort transport for fuzzing: the line is a buffer of bytes set by
// the fuzz target. Reads take from it (0 once it is used up, as a time-out);
// writes and purges leave it alone, so every byte reaches the readers.
#include <algorithm>
#include <cstring>

#include "fuzz/memory_line.h"
#include "serial/transport/port_transport.h"

namespace tavik {

namespace fuzz {
namespace {
const std::uint8_t* line_data = nullptr;
std::size_t line_size = 0;
}  // namespace

void set_line(const std::uint8_t* data, std::size_t size) {
  line_data = data;
  line_size = size;
}
}  // namespace fuzz

namespace {

struct MemoryLine final : PortTransport {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t pos = 0;
  void apply_timeouts(int) override {}
  int write(const std::uint8_t*, int count, int) override { return count; }
  int read(std::uint8_t* buffer, int count, int, int) override {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), size - pos);
    std::memcpy(buffer, data + pos, n);
    pos += n;
    return static_cast<int>(n);
  }
  int purge() override { return 1; }
  int read_pending(std::uint8_t*, int) override { return 0; }
  bool lost() const override { return false; }
};

}  // namespace

PortTransport* device_open(const SerialPort&, Result&) {
  auto* line = new MemoryLine;
  line->data = fuzz::line_data;
  line->size = fuzz::line_size;
  return line;
}
PortTransport* tcp_open(const PortUrl&, int, Failure& why) {
  why = Failure::kOpenFailed;
  return nullptr;
}
PortTransport* rfc2217_open(const PortUrl&, int, Failure& why) {
  why = Failure::kOpenFailed;
  return nullptr;
}

}  // namespace tavik
