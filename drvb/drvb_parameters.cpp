// Drive parameters: read one register (XL), write one or two registers (XB)
// and close the write (XD).
//
//   id  name                  read  write     accepted values
//   0   Max Velocity          15    15, 16    0..2000
//   1   Drive Comm. Err Time  30    30        35..20000
//   2   A/D Time              6     06        8..1000
//   *   -                     -     (XD only) any
#include <string>

#include "drvb/drvb_commands.h"
#include "serial/frame_codec.h"
#include "serial/reply_readers.h"

namespace tavik::drvb {
namespace {

struct Parameter {
  int read_register;
  const char* write_registers[2];
  int min;
  int max;
};

constexpr Parameter kParameters[] = {
    {15, {"15", "16"}, 0, 2000},  // a negative maximum would leave the board unable to drive
    {30, {"30", nullptr}, 35, 20000},
    {6, {"06", nullptr}, 8, 1000},
};

const Parameter* find_parameter(int id) {
  return id >= 0 && id < static_cast<int>(std::size(kParameters)) ? &kParameters[id] : nullptr;
}

// An XL reply carries the value in digits after the status byte (a ';' and
// a further field may follow). Anything else is the late reply of another
// command: a bare status reply, or the encoders' two ten-character counts.
bool is_value_reply(const std::uint8_t* frame) {
  const auto body = reply_body(frame, 2);
  if (body.empty() || body.size() > static_cast<std::size_t>(kMaxDecimalChars)) return false;
  bool digit = false;
  for (std::uint8_t byte : body) {
    if (byte >= '0' && byte <= '9')
      digit = true;
    else if (byte != kFieldSeparator && byte != '-')
      return false;
  }
  return digit;
}

// "XL" and the register number without leading zero.
int build_read(std::uint8_t* frame, int reg) {
  std::uint8_t command[2 + kMaxDecimalChars] = {'X', 'L'};
  const int length = 2 + format_decimal(command + 2, reg);
  return build_request(frame, {reinterpret_cast<const char*>(command), static_cast<std::size_t>(length)});
}

// "XB", the two-character register and the value (0 gives no characters).
int build_write(std::uint8_t* frame, const char* reg, int value) {
  std::uint8_t command[4 + kMaxDecimalChars] = {'X', 'B', static_cast<std::uint8_t>(reg[0]),
                                                static_cast<std::uint8_t>(reg[1])};
  const int length = 4 + format_decimal(command + 4, value);
  return build_request(frame, {reinterpret_cast<const char*>(command), static_cast<std::size_t>(length)});
}

}  // namespace

Result read_parameter(BoardConnection& connection, int id, int* value) {
  const Parameter* parameter = find_parameter(id);
  if (parameter == nullptr || value == nullptr) return Failure::kBadArgument;
  return with_connection(connection, [&](SerialPort* port) {
    std::uint8_t frame[kFrameSize] = {};
    const int length = build_read(frame, parameter->read_register);
    if (const Result r = exchange_status(port, frame, length, /*purge_after=*/false); !r.is_ok()) return r;
    if (!is_value_reply(frame)) return Result{Failure::kMalformed};
    // Every digit up to the first ';' or ETX, the status byte '0' included;
    // a '-' is skipped, so the value is never negative.
    std::int32_t fields[1] = {};
    parse_decimal_fields(frame, kFrameSize, fields, 1);
    *value = fields[0];
    return Result::ok();
  });
}

Result set_parameter(BoardConnection& connection, int id, int value) {
  const Parameter* parameter = find_parameter(id);
  return with_connection(connection, [&](SerialPort* port) {
    if (parameter != nullptr) {
      if (value < parameter->min || value > parameter->max) return Result{Failure::kBadArgument};
      for (const char* reg : parameter->write_registers) {
        if (reg == nullptr) break;
        std::uint8_t frame[kFrameSize] = {};
        const int length = build_write(frame, reg, value);
        if (const Result r = exchange_status(port, frame, length, /*purge_after=*/true); !r.is_ok()) return r;
      }
    }
    std::uint8_t xd[kFrameSize] = {};
    const int length = build_request(xd, "XD");
    const Result result = exchange_status(port, xd, length, /*purge_after=*/true);
    // The board answers a completed write with status '4', whatever follows it.
    return result.is_ok() || xd[1] == '4' ? Result::ok() : result;
  });
}

}  // namespace tavik::drvb
