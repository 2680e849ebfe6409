// Encoder counts (AC), bumpers, emergency stop and drive errors (AA), and the
// drive error reset (CG).
#include "drvb/drvb_commands.h"
#include "facts/board_requests.h"
#include "serial/codec/frame_codec.h"

namespace tavik::drvb {
namespace {

constexpr int kCountWidth = 10;
constexpr int kLeftCountAt = 2;
constexpr int kRightCountAt = kLeftCountAt + kCountWidth;

bool is_space(std::uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Sends AA and reads its 12-byte reply into frame.
Result exchange_fixed(Line& line, std::uint8_t* frame) {
  std::uint8_t request[kFrameSize] = {};
  const int length = build_request(request, kStatusBitsRequest.letters);
  return exchange(line, {request, length, ReplyKind::kFixed12, 0, false}, frame);
}

}  // namespace

std::int32_t convert_count(const std::uint8_t* field, int length) {
  int i = 0;
  while (i < length && is_space(field[i])) ++i;
  bool negative = false;
  if (i < length && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  std::uint32_t magnitude = 0;
  for (; i < length && field[i] >= '0' && field[i] <= '9'; ++i) {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(field[i] - '0');
  }
  return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
}

Result read_encoder(BoardConnection& connection, int* left, int* right) {
  if (left == nullptr || right == nullptr) return Failure::kBadArgument;
  return with_connection(connection, [&](Line& line) {
    std::uint8_t request[kFrameSize] = {};
    const int length = build_request(request, kEncodersRequest.letters, "0");
    std::uint8_t frame[kFrameSize] = {};
    if (const Result r = exchange(line, {request, length, ReplyKind::kCounts, 0, false}, frame); !r.is_ok()) {
      return r;
    }
    *left = convert_count(frame + kLeftCountAt, kCountWidth);
    *right = convert_count(frame + kRightCountAt, kCountWidth);
    return Result::ok();
  });
}

Result read_bumpers_and_errors(BoardConnection& connection, BumpersAndErrors* out) {
  if (out == nullptr) return Failure::kBadArgument;
  return with_connection(connection, [&](Line& line) {
    std::uint8_t frame[kFrameSize] = {};
    if (const Result r = exchange_fixed(line, frame); !r.is_ok()) return r;
    std::int32_t bumper_bits[31] = {};
    split_bits(frame[7], bumper_bits, 31);
    std::int32_t emergency_bits[31] = {};
    split_bits(frame[8], emergency_bits, 31);
    out->bumper_left = bumper_bits[0];
    out->bumper_right = bumper_bits[1];
    out->emergency = emergency_bits[0];
    out->error_left = static_cast<char>(frame[3]);
    out->error_right = static_cast<char>(frame[5]);
    return Result::ok();
  });
}

Result read_bumper_emg(BoardConnection& connection, int* left, int* right, int* emergency) {
  if (left == nullptr || right == nullptr || emergency == nullptr) return Failure::kBadArgument;
  BumpersAndErrors read;
  const Result r = read_bumpers_and_errors(connection, &read);
  if (!r.is_ok()) return r;
  *left = read.bumper_left;
  *right = read.bumper_right;
  *emergency = read.emergency;
  return r;
}

Result read_drive_err(BoardConnection& connection, char* left, char* right) {
  if (left == nullptr || right == nullptr) return Failure::kBadArgument;
  BumpersAndErrors read;
  const Result r = read_bumpers_and_errors(connection, &read);
  if (!r.is_ok()) return r;
  *left = read.error_left;
  *right = read.error_right;
  return r;
}

Result set_drive_err_reset(BoardConnection& connection) {
  return with_connection(connection, [&](Line& line) {
    std::uint8_t request[kFrameSize] = {};
    const int length = build_request(request, kErrorResetRequest.letters);
    std::uint8_t reply[kFrameSize] = {};
    return exchange(line, {request, length, ReplyKind::kAck, 0, true}, reply);
  });
}

}  // namespace tavik::drvb
