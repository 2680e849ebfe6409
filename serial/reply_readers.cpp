#include "serial/reply_readers.h"

#include "serial/frame_assembler.h"
#include "serial/frame_codec.h"

namespace tavik {
namespace {

// Reads one frame of the given shape. Returns its length, or -1 after
// purging the port when a byte did not come or the frame does not fit.
int collect(SerialPort* port, std::uint8_t* buf, FrameShape shape) {
  FrameAssembler assembler(buf, kFrameSize, shape);
  for (;;) {
    std::uint8_t byte = 0;
    if (serial_port_read(port, &byte, 1) <= 0) break;
    switch (assembler.feed(byte)) {
      case FrameAssembler::Step::kComplete: return static_cast<int>(assembler.size());
      case FrameAssembler::Step::kOverflow: serial_port_purge(port); return -1;
      case FrameAssembler::Step::kMore: break;
    }
  }
  serial_port_purge(port);
  return -1;
}

bool checksum_matches(const std::uint8_t* buf, int length) {
  return frame_checksum(buf + 1, length - 2) == buf[length - 1];
}

}  // namespace

int read_reply(SerialPort* port, std::uint8_t* buf) {
  const int length = collect(port, buf, FrameShape::kEtxTerminated);
  if (length < 0) return -1;
  if (buf[1] != kStatusOk) return -1;
  return checksum_matches(buf, length) ? 0 : -1;
}

int read_text_reply(SerialPort* port, std::uint8_t* buf) {
  const int length = collect(port, buf, FrameShape::kEtxTerminated);
  if (length < 0) return -1;
  return checksum_matches(buf, length) ? 0 : -1;
}

int read_counted_reply(SerialPort* port, std::uint8_t* buf, int* count) {
  const int length = collect(port, buf, FrameShape::kCounted);
  if (length < 0) return -1;
  serial_port_purge(port);
  const int n = buf[1];
  if (buf[n + 2] != kEtx || !checksum_matches(buf, length)) return -1;
  *count = n;
  return 0;
}

int read_fixed_reply(SerialPort* port, std::uint8_t* buf) {
  const int length = collect(port, buf, FrameShape::kFixed12);
  if (length < 0) return -1;
  serial_port_purge(port);
  if (buf[10] != kEtx || !checksum_matches(buf, length)) return -1;
  return 0;
}

}  // namespace tavik
