// "PDR": battery, current and the seven device states.
//
// The reply is a text reply whose body is at least nine ';'-separated
// unsigned decimal fields: battery in field 0, current in field 3, device states as bits of
// fields 6 (drive, sensors, LRF, SBC), 7 (SG at bit 1) and 8 (LCD at bit 1,
// servo at bit 2).
#include "psb/psb_commands.h"
#include "serial/frame_codec.h"
#include "serial/reply_readers.h"

namespace tavik::psb {

bool is_power_data_reply(const std::uint8_t* frame) {
  // The decoder reads fields 0 to 8, so nine fields at least; and the body is
  // text. This refuses the replies that can arrive late on the same line:
  // a bare status reply, the counted range frame (binary data) and the
  // maximum-distance echo.
  constexpr int kFieldsUsed = 9;
  int separators = 0;
  for (std::uint8_t byte : reply_body(frame, 1)) {
    if (byte < 0x20 || byte > 0x7E) return false;
    if (byte == kFieldSeparator) ++separators;
  }
  return separators >= kFieldsUsed - 1;
}

void decode_power_data(const std::uint8_t* frame, Result reader_result, psb_power_data* record) {
  if (!reader_result.is_ok()) return;
  std::int32_t fields[10] = {};
  parse_decimal_fields(frame, kFrameSize, fields, 10);
  record->battery_volt = static_cast<std::int32_t>(static_cast<std::uint32_t>(fields[0]) * 100u);
  record->consum_cur = static_cast<std::int32_t>(static_cast<std::uint32_t>(fields[3]) * 100u);

  std::int32_t bits[31] = {};
  split_bits(fields[6], bits, 31);
  record->drive_state = bits[0];
  record->sensors_state = bits[1];
  record->lrf_state = bits[2];
  record->sbc_state = bits[3];

  std::int32_t sg_bits[31] = {};
  split_bits(fields[7], sg_bits, 31);
  record->sg_state = sg_bits[1];

  std::int32_t lcd_servo_bits[31] = {};
  split_bits(fields[8], lcd_servo_bits, 31);
  record->lcd_state = lcd_servo_bits[1];
  record->servo_state = lcd_servo_bits[2];
}

Result read_power(BoardConnection& connection, psb_power_data* data) {
  if (data == nullptr) return Failure::kBadArgument;
  *data = psb_power_data{};
  std::uint8_t frame[kFrameSize] = {};
  const int length = build_request(frame, "PDR");
  return with_connection(connection, [&](SerialPort* port) {
    send_request(port, frame, length);
    std::uint8_t reply[kFrameSize] = {};
    Result result = read_text_reply(port, reply);
    if (result.is_ok() && !is_power_data_reply(reply)) result = Failure::kMalformed;
    serial_port_purge(port);  // whatever the board sent after the BCC
    psb_power_data record{};
    decode_power_data(reply, result, &record);
    *data = record;
    return result;
  });
}

}  // namespace tavik::psb
