// A SerialPort backend for fuzzing: the line is a buffer of bytes set by the
// fuzz target. Reads take from it (0 once it is used up, as a time-out);
// writes and purges leave it alone, so every byte reaches the readers.
#include <algorithm>
#include <cstring>

#include "fuzz/memory_line.h"
#include "serial/serial_port_impl.h"

namespace tavik {

struct SerialPortOs {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
};

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

SerialPortOs* os_open(const SerialPort&, Failure&) {
  return new SerialPortOs{fuzz::line_data, fuzz::line_size};
}
void os_apply_timeouts(SerialPortOs*, int) {}
int os_write(SerialPortOs*, const std::uint8_t*, int count, int) { return count; }

int os_read(SerialPortOs* os, std::uint8_t* buffer, int count, int, int) {
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), os->size - os->pos);
  std::memcpy(buffer, os->data + os->pos, n);
  os->pos += n;
  return static_cast<int>(n);
}

int os_purge(SerialPortOs*) { return 1; }
bool os_lost(const SerialPortOs*) { return false; }
int os_read_pending(SerialPortOs*, std::uint8_t*, int) { return 0; }
void os_close(SerialPortOs* os) { delete os; }

}  // namespace tavik
