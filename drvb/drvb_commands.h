// The drive board's commands. Each returns its Result: ok, or why it failed;
// outputs are written only on success.
#pragma once

#include <cstdint>

#include "serial/exchange/board_connection.h"

namespace tavik::drvb {

// DB with '1''1' for on == 1, '0''0' otherwise, then always CZ; DB's result.
Result set_servo(BoardConnection& connection, int on);
// BE left;right. A velocity of 0 goes out as an empty field.
Result set_velocity(BoardConnection& connection, int left, int right);

// AC: two ten-character decimal counts, converted as C atoi does (wrapping
// instead of overflowing).
Result read_encoder(BoardConnection& connection, int* left, int* right);
// AA: bits 0 and 1 of byte 7 (bumpers), bit 0 of byte 8 (emergency stop).
Result read_bumper_emg(BoardConnection& connection, int* left, int* right, int* emergency);
// AA: bytes 3 and 5, the two drive error bytes.
Result read_drive_err(BoardConnection& connection, char* left, char* right);
// What one AA reply carries: read_bumper_emg's and read_drive_err's fields.
struct BumpersAndErrors {
  int bumper_left = 0, bumper_right = 0, emergency = 0;
  char error_left = 0, error_right = 0;
};
// AA once for both: a reader that wants both fields sends one request, not
// the same one twice (whose identical answers the exchange must then tell
// from a copy of the first).
Result read_bumpers_and_errors(BoardConnection& connection, BumpersAndErrors* out);
// CG.
Result set_drive_err_reset(BoardConnection& connection);

// XL of the id's register (facts/drvb_facts.h). Any other id sends
// nothing and fails.
Result read_parameter(BoardConnection& connection, int id, int* value);
// XB to the id's register(s) after the check of its limits, then XD.
Result set_parameter(BoardConnection& connection, int id, int value);

// The conversion of one ten-character count field.
std::int32_t convert_count(const std::uint8_t* field, int length);

}  // namespace tavik::drvb
