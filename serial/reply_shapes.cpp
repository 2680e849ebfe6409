#include "serial/reply_shapes.h"

#include <algorithm>
#include <span>

#include "serial/frame_codec.h"
#include "serial/reply_readers.h"

namespace tavik {
namespace {

constexpr int kCountsLength = 20;    // two ten-character counts
constexpr int kPowerFieldsUsed = 9;  // the power data decoder reads fields 0 to 8

bool is_digit(std::uint8_t byte) { return byte >= '0' && byte <= '9'; }

// A decimal value and perhaps a further field: digits, ';' and '-' only,
// at least one digit, no longer than a formatted int.
bool is_value(std::span<const std::uint8_t> data) {
  if (data.empty() || data.size() > static_cast<std::size_t>(kMaxDecimalChars)) return false;
  bool digit = false;
  for (std::uint8_t byte : data) {
    if (is_digit(byte))
      digit = true;
    else if (byte != kFieldSeparator && byte != '-')
      return false;
  }
  return digit;
}

// Printable text of kPowerFieldsUsed or more ';'-separated fields.
bool is_power_text(std::span<const std::uint8_t> body) {
  int separators = 0;
  for (std::uint8_t byte : body) {
    if (byte < 0x20 || byte > 0x7E) return false;
    if (byte == kFieldSeparator) ++separators;
  }
  return separators >= kPowerFieldsUsed - 1;
}

// A status reply: a status-only frame answers for itself (ok or refused);
// one with data answers only when its status is '0' and its data fit.
template <class Fits>
Result judge_status(const std::uint8_t* frame, int length, bool data_wanted, Fits fits) {
  if (length < 4) return Failure::kMalformed;  // no status byte
  const bool status_only = length == 4;
  if (status_only && frame[1] != kStatusOk) return Result::refused(frame[1]);
  if (status_only != !data_wanted) return Failure::kUnexpected;
  if (frame[1] != kStatusOk) return Failure::kUnexpected;
  return fits(reply_body(frame, 2)) ? Result::ok() : Result(Failure::kUnexpected);
}

}  // namespace

FrameShape frame_shape(ReplyKind kind) {
  switch (kind) {
    case ReplyKind::kCounted:
      return FrameShape::kCounted;
    case ReplyKind::kFixed12:
      return FrameShape::kFixed12;
    default:
      return FrameShape::kEtxTerminated;
  }
}

LengthHint length_hint(ReplyKind kind, int request_length) {
  constexpr int kFraming = 3;                 // STX, ETX, check byte
  constexpr int kStatusFrame = kFraming + 1;  // and the status byte: an acknowledgement, a refusal
  switch (kind) {
    case ReplyKind::kAck:
    case ReplyKind::kStoredAck:
      return {kStatusFrame, kStatusFrame};
    case ReplyKind::kCounts:
      return {kStatusFrame, kStatusFrame + kCountsLength};
    case ReplyKind::kValue:
      return {kStatusFrame, kStatusFrame + 1};  // a digit at least
    case ReplyKind::kPowerText:
      return {kFraming + kPowerFieldsUsed - 1, 0};  // the separators of empty fields
    case ReplyKind::kEcho:
      return {request_length, 0};  // the request's bytes between STX and ETX, framed alike
    case ReplyKind::kCounted:
    case ReplyKind::kFixed12:
      break;  // the shape says it (the counted frame's once its count is read)
  }
  return {};
}

Result judge_reply(ReplyKind kind, int min_count, const std::uint8_t* request, int request_length,
                   const std::uint8_t* frame, int length) {
  // The drive board answers a completed parameter write with '4', whatever follows it.
  if (kind == ReplyKind::kStoredAck && length >= 4 && frame[1] == kStatusStored) return Result::ok();
  if (const Result framed = check_frame(frame_shape(kind), frame, length); !framed.is_ok()) return framed;
  const auto any = [](std::span<const std::uint8_t>) { return true; };
  switch (kind) {
    case ReplyKind::kAck:
    case ReplyKind::kStoredAck:
      return judge_status(frame, length, false, any);
    case ReplyKind::kCounts:
      return judge_status(frame, length, true, [](std::span<const std::uint8_t> data) {
        return data.size() == static_cast<std::size_t>(kCountsLength);
      });
    case ReplyKind::kValue:
      return judge_status(frame, length, true, is_value);
    case ReplyKind::kPowerText:
      return is_power_text(reply_body(frame, 1)) ? Result::ok() : Result(Failure::kUnexpected);
    case ReplyKind::kEcho: {
      // The request's letters and code: everything between its STX and ETX.
      const auto body = reply_body(frame, 1);
      const std::span<const std::uint8_t> sent(request + 1,
                                               static_cast<std::size_t>(std::max(request_length - 3, 0)));
      return std::ranges::equal(body, sent) ? Result::ok() : Result(Failure::kUnexpected);
    }
    case ReplyKind::kCounted:
      return frame[1] >= min_count ? Result::ok() : Result(Failure::kUnexpected);
    case ReplyKind::kFixed12:
      return Result::ok();
  }
  return Failure::kUnexpected;
}

}  // namespace tavik
