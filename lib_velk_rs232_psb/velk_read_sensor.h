// The sensor-board library's own command: the "Sar" ranges as floats.
#pragma once

#include "serial/exchange/board_connection.h"
#include "tavik/psb_types.h"

namespace tavik::velk {

// Ranges x 0.001 (the exact product rounded once to float) and the reply's
// bytes 34..40. The record is written only on success.
Result read_sensor(BoardConnection& connection, psb_sensor_data* data);

}  // namespace tavik::velk
