// Drive parameters (facts/drvb_facts.h): read one register (XL), write
// one or two registers (XB) and close the write (XD); an id outside the
// table sends XD only.
#include <string>

#include "drvb/drvb_commands.h"
#include "facts/board_requests.h"
#include "facts/drvb_facts.h"
#include "serial/codec/frame_codec.h"

namespace tavik::drvb {
namespace {

// "XL" and the register number without leading zero.
int build_read(std::uint8_t* frame, int reg) {
  std::uint8_t number[kMaxDecimalChars] = {};
  const int length = format_decimal(number, reg);
  return build_request(frame, kReadRegisterRequest.letters,
                       {reinterpret_cast<const char*>(number), static_cast<std::size_t>(length)});
}

// "XB", the register in two digits and the value (0 gives no characters).
int build_write(std::uint8_t* frame, int reg, int value) {
  std::uint8_t arguments[2 + kMaxDecimalChars] = {static_cast<std::uint8_t>('0' + reg / 10),
                                                  static_cast<std::uint8_t>('0' + reg % 10)};
  const int length = 2 + format_decimal(arguments + 2, value);
  return build_request(frame, kWriteRegisterRequest.letters,
                       {reinterpret_cast<const char*>(arguments), static_cast<std::size_t>(length)});
}

}  // namespace

Result read_parameter(BoardConnection& connection, int id, int* value) {
  const ParameterInfo* parameter = find_parameter(id);
  if (parameter == nullptr || value == nullptr) return Failure::kBadArgument;
  return with_connection(connection, [&](Line& line) {
    std::uint8_t request[kFrameSize] = {};
    const int length = build_read(request, parameter->read_register->number);
    std::uint8_t frame[kFrameSize] = {};
    if (const Result r = exchange(line, {request, length, ReplyKind::kValue, 0, false}, frame); !r.is_ok())
      return r;
    // Every digit up to the first ';' or ETX, the status byte '0' included;
    // a '-' is skipped, so the value is never negative, and a value that
    // does not fit an int was refused as malformed (reply_shapes.cpp).
    std::int32_t fields[1] = {};
    parse_decimal_fields(frame, kFrameSize, fields, 1);
    *value = fields[0];
    return Result::ok();
  });
}

Result set_parameter(BoardConnection& connection, int id, int value) {
  // The range first: a value out of range is refused with or without a connection.
  const ParameterInfo* parameter = find_parameter(id);
  if (parameter != nullptr && (value < parameter->min || value > parameter->max))
    return Failure::kBadArgument;
  return with_connection(connection, [&](Line& line) {
    std::uint8_t reply[kFrameSize] = {};
    if (parameter != nullptr) {
      for (const Register* reg : parameter->write_registers) {
        if (reg == nullptr) break;
        std::uint8_t frame[kFrameSize] = {};
        const int length = build_write(frame, reg->number, value);
        if (const Result r = exchange(line, {frame, length, ReplyKind::kAck, 0, true}, reply); !r.is_ok())
          return r;
      }
    }
    std::uint8_t xd[kFrameSize] = {};
    const int length = build_request(xd, kStoreRequest.letters);
    // The board answers a completed write with status '4', taken as success.
    return exchange(line, {xd, length, ReplyKind::kStoredAck, 0, true}, reply);
  });
}

}  // namespace tavik::drvb
