// "PDR": battery, current and the seven device states.
//
// The reply is a text reply whose body is at least nine ';'-separated
// unsigned decimal fields (as serial/reply_shapes.cpp checks): battery in field 0, current in field 3, device
// states as bits of fields 6 (drive, sensors, LRF, SBC), 7 (SG at bit 1) and 8 (LCD at bit 1, servo at bit
// 2).
#include "facts/board_requests.h"
#include "psb/psb_commands.h"
#include "serial/codec/frame_codec.h"

namespace tavik::psb {

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
  const int length = build_request(frame, kPowerDataRequest.letters);
  return with_connection(connection, [&](Line& line) {
    std::uint8_t reply[kFrameSize] = {};
    // Whatever the board sent after the BCC is purged.
    const Result result = exchange(line, {frame, length, ReplyKind::kPowerText, 0, true}, reply);
    psb_power_data record{};
    decode_power_data(reply, result, &record);
    *data = record;
    return result;
  });
}

}  // namespace tavik::psb
