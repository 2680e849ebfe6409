#include "serial/codec/frame_codec.h"

#include <cstring>

namespace tavik {

std::uint8_t frame_checksum(const std::uint8_t* bytes, int count) {
  std::uint8_t bcc = 0;
  for (int i = 0; i < count; ++i) bcc ^= bytes[i];
  return bcc;
}

int format_decimal(std::uint8_t* out, std::int32_t value) {
  int p = 0;
  std::uint32_t magnitude = static_cast<std::uint32_t>(value);
  if (value < 0) {
    out[p++] = '-';
    magnitude = 0u - magnitude;
  }
  out[p] = '0';
  bool started = false;
  // The largest power of ten an int32 holds, down to 1.
  for (std::uint32_t scale = 1000000000u; scale > 0; scale /= 10) {
    const std::uint32_t digit = magnitude / scale;
    magnitude -= digit * scale;
    if (digit > 0) started = true;
    if (started) out[p++] = static_cast<std::uint8_t>('0' + digit);
  }
  return p;
}

void parse_decimal_fields(const std::uint8_t* text, std::size_t length, std::int32_t* values,
                          std::size_t count) {
  std::uint32_t field = 0;
  std::size_t slot = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t c = text[i];
    if (c >= '0' && c <= '9') {
      field = field * 10u + static_cast<std::uint32_t>(c - '0');
    } else if (c == kFieldSeparator || c == kEtx) {
      if (slot < count) {
        values[slot] = static_cast<std::int32_t>(static_cast<std::uint32_t>(values[slot]) + field);
      }
      ++slot;
      field = 0;
      if (c == kEtx) return;
    }
  }
}

void split_bits(std::int32_t value, std::int32_t* bits, std::size_t count) {
  for (std::size_t i = 0; value > 0 && i < count && i < 31; ++i) {
    bits[i] = value & 1;
    value >>= 1;
  }
}

int close_request(std::uint8_t* frame, int end) {
  frame[end] = kEtx;
  frame[end + 1] = frame_checksum(frame + 1, end);
  return end + 2;
}

int build_request(std::uint8_t* frame, std::string_view command) { return build_request(frame, command, ""); }

int build_request(std::uint8_t* frame, std::string_view letters, std::string_view arguments) {
  const std::size_t room = kFrameSize - 3;
  const std::size_t first = letters.size() < room ? letters.size() : room;
  const std::size_t rest = arguments.size() < room - first ? arguments.size() : room - first;
  frame[0] = kStx;
  std::memcpy(frame + 1, letters.data(), first);
  std::memcpy(frame + 1 + first, arguments.data(), rest);
  return close_request(frame, static_cast<int>(first + rest) + 1);
}

}  // namespace tavik
