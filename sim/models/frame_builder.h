// Builds board frames for the substitutes and the tests.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tavik::sim {

using Bytes = std::vector<std::uint8_t>;

// STX, body, ETX, BCC over body and ETX.
Bytes frame(std::string_view body);
Bytes frame(const Bytes& body);
// A status reply: STX, the status byte, ETX, BCC.
Bytes status_frame(char status);
// STX, N, the N data bytes, ETX, BCC over N..ETX.
Bytes counted_frame(const Bytes& data);
// The BCC a frame of this body would carry.
std::uint8_t bcc_of(const Bytes& body);
// Bytes of a string, for readable test vectors.
Bytes bytes(std::string_view text);

}  // namespace tavik::sim
