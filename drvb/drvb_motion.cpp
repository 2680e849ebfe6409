// Servo switch (DB, then CZ) and wheel velocities (BE).
#include "drvb/drvb_commands.h"
#include "serial/frame_codec.h"

namespace tavik::drvb {

Result set_servo(BoardConnection& connection, int on) {
  return with_connection(connection, [&](SerialPort* port) {
    std::uint8_t frame[kFrameSize] = {};
    int length = build_request(frame, on == 1 ? "DB11" : "DB00");
    const Result result = exchange_status(port, frame, length, /*purge_after=*/true);

    // CZ follows whatever DB's answer was; its own answer is not used.
    std::uint8_t cz[kFrameSize] = {};
    length = build_request(cz, "CZ11");
    exchange_status(port, cz, length, /*purge_after=*/true);
    return result;
  });
}

Result set_velocity(BoardConnection& connection, int left, int right) {
  std::uint8_t command[2 + 2 * kMaxDecimalChars + 1 + 1] = {'B', 'E'};
  int p = 2;
  p += format_decimal(command + p, left);
  command[p++] = kFieldSeparator;
  p += format_decimal(command + p, right);
  return with_connection(connection, [&](SerialPort* port) {
    std::uint8_t frame[kFrameSize] = {};
    const int length =
        build_request(frame, {reinterpret_cast<const char*>(command), static_cast<std::size_t>(p)});
    return exchange_status(port, frame, length, /*purge_after=*/true);
  });
}

}  // namespace tavik::drvb
