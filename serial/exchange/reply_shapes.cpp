#include "serial/exchange/reply_shapes.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>

#include "serial/codec/frame_codec.h"
#include "serial/exchange/reply_readers.h"

namespace tavik {
namespace {

constexpr int kCountsLength = 20;    // two ten-character counts
constexpr int kPowerFieldsUsed = 9;  // the power data decoder reads fields 0 to 8

using Data = std::span<const std::uint8_t>;

bool is_digit(std::uint8_t byte) { return byte >= '0' && byte <= '9'; }

// A decimal value and perhaps a further field: digits, ';' and '-' only,
// at least one digit, no longer than a formatted int.
bool is_value(Data data) {
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

// The value a value reply carries, every digit up to its first ';' or ETX
// (the status byte '0' among them, any other byte skipped, as it is read),
// fits an int: a longer one is no value the board holds.
bool value_fits(const std::uint8_t* frame, int length) {
  std::int64_t value = 0;
  for (int i = 1; i < length && frame[i] != kEtx && frame[i] != kFieldSeparator; ++i) {
    if (!is_digit(frame[i])) continue;
    value = value * 10 + (frame[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return false;
  }
  return true;
}

// Two counts as the board writes them: ten characters each, of digits,
// spaces and signs.
bool is_counts(Data data) {
  return data.size() == static_cast<std::size_t>(kCountsLength) &&
         std::ranges::all_of(data,
                             [](std::uint8_t b) { return is_digit(b) || b == ' ' || b == '-' || b == '+'; });
}

// Printable text of kPowerFieldsUsed or more ';'-separated fields.
bool is_power_text(Data body) {
  int separators = 0;
  for (std::uint8_t byte : body) {
    if (byte < 0x20 || byte > 0x7E) return false;
    if (byte == kFieldSeparator) ++separators;
  }
  return separators >= kPowerFieldsUsed - 1;
}

Judgement usual() { return {Result::ok(), Fit::kUsual}; }
Judgement allowed() { return {Result::ok(), Fit::kAllowed}; }
Judgement unexpected() { return {Result(Failure::kUnexpected), Fit::kNone}; }

// A status reply: status '0' accepts, whatever data follow it up to ETX
// (`usual` says which data the board sends, `acceptable` which the command
// can use at all); another status byte refuses.
template <class Usual, class Acceptable>
Judgement judge_status(const std::uint8_t* frame, int length, Usual usual_data, Acceptable acceptable) {
  if (length < 4) return {Result(Failure::kMalformed), Fit::kNone};  // no status byte
  const Data data = reply_body(frame, 2);
  if (frame[1] != kStatusOk) return {Result::refused(frame[1]), data.empty() ? Fit::kUsual : Fit::kAllowed};
  if (!acceptable(data)) return unexpected();
  return usual_data(data) ? usual() : allowed();
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
    case ReplyKind::kValue:
      return {kStatusFrame, kStatusFrame};
    case ReplyKind::kCounts:
      return {kStatusFrame, kStatusFrame + kCountsLength};
    case ReplyKind::kPowerText:
      return {kFraming + kPowerFieldsUsed - 1, 0};  // the separators of empty fields
    case ReplyKind::kEcho:
      return {kFraming, 0};  // any text, an empty one too
    case ReplyKind::kCounted:
    case ReplyKind::kFixed12:
      break;  // the shape says it (the counted frame's once its count is read)
  }
  (void)request_length;
  return {};
}

Judgement judge_reply(ReplyKind kind, int min_count, const std::uint8_t* request, int request_length,
                      const std::uint8_t* frame, int length) {
  // The drive board answers a completed parameter write with '4', whatever follows it.
  if (kind == ReplyKind::kStoredAck && length >= 4 && frame[1] == kStatusStored) return usual();
  if (const Result framed = check_frame(frame_shape(kind), frame, length); !framed.is_ok())
    return {framed, Fit::kNone};
  const auto any = [](Data) { return true; };
  const auto none = [](Data data) { return data.empty(); };
  switch (kind) {
    case ReplyKind::kAck:
    case ReplyKind::kStoredAck:
      return judge_status(frame, length, none, any);
    case ReplyKind::kCounts:
      // The counts take the ten characters from position 2 and from 12: a
      // reply too short to hold them is not the encoders' answer.
      return judge_status(frame, length, is_counts,
                          [](Data data) { return data.size() >= static_cast<std::size_t>(kCountsLength); });
    case ReplyKind::kValue:
      if (length >= 4 && frame[1] == kStatusOk && !value_fits(frame, length))
        return {Result(Failure::kMalformed), Fit::kNone};
      return judge_status(frame, length, is_value, any);
    case ReplyKind::kPowerText:
      return is_power_text(reply_body(frame, 1)) ? usual() : unexpected();
    case ReplyKind::kEcho: {
      // Any text answers; the board echoes the request's letters and code.
      const auto body = reply_body(frame, 1);
      const Data sent(request + 1, static_cast<std::size_t>(std::max(request_length - 3, 0)));
      return std::ranges::equal(body, sent) ? usual() : allowed();
    }
    case ReplyKind::kCounted:
      return frame[1] >= min_count ? usual() : unexpected();
    case ReplyKind::kFixed12:
      return usual();
  }
  return unexpected();
}

}  // namespace tavik
