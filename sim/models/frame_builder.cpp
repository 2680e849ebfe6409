#include "sim/models/frame_builder.h"

#include "serial/codec/frame_codec.h"

namespace tavik::sim {

Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

std::uint8_t bcc_of(const Bytes& body) {
  return static_cast<std::uint8_t>(frame_checksum(body.data(), static_cast<int>(body.size())) ^ kEtx);
}

Bytes frame(const Bytes& body) {
  Bytes out;
  out.reserve(body.size() + 3);
  out.push_back(kStx);
  out.insert(out.end(), body.begin(), body.end());
  out.push_back(kEtx);
  out.push_back(bcc_of(body));
  return out;
}

Bytes frame(std::string_view body) { return frame(bytes(body)); }

Bytes status_frame(char status) { return frame(Bytes{static_cast<std::uint8_t>(status)}); }

Bytes counted_frame(const Bytes& data) {
  Bytes body;
  body.push_back(static_cast<std::uint8_t>(data.size()));
  body.insert(body.end(), data.begin(), data.end());
  return frame(body);
}

}  // namespace tavik::sim
