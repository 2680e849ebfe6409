// The drive board's commands. Results: 0 on success, -1 on failure; outputs
// are written only on success.
#pragma once

#include <cstdint>

#include "serial/board_connection.h"

namespace tavik::drvb {

// DB with '1''1' for on == 1, '0''0' otherwise, then always CZ; DB's result.
int set_servo(BoardConnection& connection, int on);
// BE left;right. A velocity of 0 goes out as an empty field.
int set_velocity(BoardConnection& connection, int left, int right);

// AC: two ten-character decimal counts, converted as C atoi does (wrapping
// instead of overflowing).
int read_encoder(BoardConnection& connection, int* left, int* right);
// AA: bits 0 and 1 of byte 7 (bumpers), bit 0 of byte 8 (emergency stop).
int read_bumper_emg(BoardConnection& connection, int* left, int* right, int* emergency);
// AA: bytes 3 and 5, the two drive error bytes.
int read_drive_err(BoardConnection& connection, char* left, char* right);
// CG.
int set_drive_err_reset(BoardConnection& connection);

// XL of the id's register (0: 15, 1: 30, 2: 6). Any other id sends nothing
// and fails.
int read_parameter(BoardConnection& connection, int id, int* value);
// XB to the id's register(s) after a range check, then XD.
int set_parameter(BoardConnection& connection, int id, int value);

// The conversion of one ten-character count field.
std::int32_t convert_count(const std::uint8_t* field, int length);

}  // namespace tavik::drvb
