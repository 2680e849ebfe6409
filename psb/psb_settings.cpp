// Device power switches ("P") and the ultrasonic maximum distance ("SDU").
#include "facts/board_requests.h"
#include "psb/psb_commands.h"
#include "serial/codec/frame_codec.h"

namespace tavik::psb {

Result set_power_control(BoardConnection& connection, unsigned int device, int on) {
  if (device > kLastDevice || (on != 0 && on != 1)) return Failure::kBadArgument;
  const char* code = kDeviceTable[device].code;
  const char arguments[] = {code[0], code[1], on == 1 ? '1' : '0', '\0'};
  std::uint8_t frame[kFrameSize] = {};
  const int length = build_request(frame, kSwitchRequest.letters, arguments);
  return with_connection(connection, [&](Line& line) {
    std::uint8_t reply[kFrameSize] = {};
    return exchange(line, {frame, length, ReplyKind::kAck, 0, true}, reply);
  });
}

Result set_usonic_max_dist(BoardConnection& connection, int max_dist) {
  if (max_dist < kLeastMaxDist || max_dist > kMostMaxDist) return Failure::kBadArgument;
  const char code[] = {static_cast<char>('0' + max_dist + 1), '\0'};
  std::uint8_t frame[kFrameSize] = {};
  const int length = build_request(frame, kMaxDistRequest.letters, code);
  return with_connection(connection, [&](Line& line) {
    // The board echoes the request's letters and code.
    std::uint8_t reply[kFrameSize] = {};
    return exchange(line, {frame, length, ReplyKind::kEcho, 0, false}, reply);
  });
}

}  // namespace tavik::psb
