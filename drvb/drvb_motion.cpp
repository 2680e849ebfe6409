// Servo switch (DB, then CZ) and wheel velocities (BE).
#include "drvb/drvb_commands.h"
#include "facts/board_requests.h"
#include "serial/codec/frame_codec.h"

namespace tavik::drvb {

Result set_servo(BoardConnection& connection, int on) {
  return with_connection(connection, [&](Line& line) {
    std::uint8_t db[kFrameSize] = {};
    std::uint8_t reply[kFrameSize] = {};
    int length = build_request(db, kServoRequest.letters, on == 1 ? "11" : "00");
    const Result result = exchange(line, {db, length, ReplyKind::kAck, 0, true}, reply);

    // CZ follows whatever DB's answer was; its own answer is not used.
    std::uint8_t cz[kFrameSize] = {};
    length = build_request(cz, kServoCommitRequest.letters, "11");
    exchange(line, {cz, length, ReplyKind::kAck, 0, true}, reply);
    return result;
  });
}

Result set_velocity(BoardConnection& connection, int left, int right) {
  std::uint8_t arguments[2 * kMaxDecimalChars + 1] = {};
  int p = format_decimal(arguments, left);
  arguments[p++] = kFieldSeparator;
  p += format_decimal(arguments + p, right);
  std::uint8_t request[kFrameSize] = {};
  const int length = build_request(request, kVelocityRequest.letters,
                                   {reinterpret_cast<const char*>(arguments), static_cast<std::size_t>(p)});
  const Motion motion = left == 0 && right == 0 ? Motion::kStop : Motion::kMove;
  return with_connection(
      connection,
      [&](Line& line) {
        std::uint8_t reply[kFrameSize] = {};
        return exchange(line, {request, length, ReplyKind::kAck, 0, true, motion}, reply);
      },
      motion);
}

}  // namespace tavik::drvb
