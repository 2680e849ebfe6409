// The lib_zarn_rs232 reads as calls without arguments, for tables of
// commands: each returns the library's 0 or -1 and drops what it read.
#pragma once

#include "tavik/zarn_rs232.h"

namespace tavik::test {

inline int read_encoder() {
  int left, right;
  return zarn_rs232_drvb_read_encoder(&left, &right);
}
inline int read_bumpers() {
  int left, right, emergency;
  return zarn_rs232_drvb_read_bumper_emg(&left, &right, &emergency);
}
inline int read_max_velocity() {
  int value;
  return zarn_rs232_drvb_read_parameter(0, &value);
}
inline int read_power() {
  psb_power_data data;
  return zarn_rs232_psb_read_power(&data);
}
inline int read_ranges() {
  int ranges[7];
  return zarn_rs232_psb_read_usonic(ranges);
}

}  // namespace tavik::test
