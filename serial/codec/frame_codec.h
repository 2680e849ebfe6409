// Building blocks of the boards' frames: STX, command and fields, ETX, and a
// check byte (BCC), the XOR of every byte after STX up to and including ETX.
// These functions keep no state and allocate nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavik {

inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr std::uint8_t kFieldSeparator = ';';
inline constexpr std::uint8_t kStatusOk = '0';
// The drive board's answer to a completed parameter write.
inline constexpr std::uint8_t kStatusStored = '4';
// Every request and reply of one exchange lives in a buffer of this size.
inline constexpr std::size_t kFrameSize = 256;
// format_decimal writes at most this many characters ("-2147483648").
inline constexpr int kMaxDecimalChars = 11;

// XOR of count bytes; 0 for a count of 0 or less.
std::uint8_t frame_checksum(const std::uint8_t* bytes, int count);

// Writes value as decimal text: '-' for a negative value, then the digits
// without leading zeros, no terminator. Returns the number of characters;
// for 0 it writes '0' but returns 0, so a field of 0 goes out empty when the
// next byte is placed by the returned length. out must hold 11 bytes.
int format_decimal(std::uint8_t* out, std::int32_t value);

// Adds the ';'-separated decimal fields of text into values[0..count-1],
// which the caller has zeroed. Digits are accumulated in wrapping 32-bit
// arithmetic; every other byte (STX, letters, '-') is skipped, so signs are
// not read. ';' or ETX closes a field, also an empty one; parsing stops after
// the first ETX or after length bytes. Fields beyond count are ignored.
void parse_decimal_fields(const std::uint8_t* text, std::size_t length, std::int32_t* values,
                          std::size_t count);

// Writes the bits of value, lowest first, into bits[0..count-1] up to its
// highest set bit; nothing for a value of 0 or less. At most 31 slots.
void split_bits(std::int32_t value, std::int32_t* bits, std::size_t count);

// Finishes a request: writes ETX at position end and the BCC over positions
// 1..end after it. Returns the frame's length (end + 2).
int close_request(std::uint8_t* frame, int end);

// Builds the request STX, command, ETX, BCC in a zero-filled frame of
// kFrameSize bytes and returns its length. command holds the command letters
// and their arguments, at most kFrameSize - 3 bytes.
int build_request(std::uint8_t* frame, std::string_view command);
// The same from a request's letters (facts/board_requests.h) and its arguments.
int build_request(std::uint8_t* frame, std::string_view letters, std::string_view arguments);

}  // namespace tavik
