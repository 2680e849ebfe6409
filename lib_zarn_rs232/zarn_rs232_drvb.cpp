// The drive board half of lib_zarn_rs232: its own connection and lock,
// independent of the power & sensor board's.
#include "drvb/drvb_commands.h"
#include "tavik/zarn_rs232.h"

namespace {
tavik::BoardConnection drvb_connection;
}  // namespace

extern "C" {

int zarn_rs232_drvb_create(const char* port_name, int timeout_ms) {
  return tavik::connection_open(drvb_connection, port_name, timeout_ms);
}

void zarn_rs232_drvb_destroy(void) { tavik::connection_close(drvb_connection); }

int zarn_rs232_drvb_set_servo(int on) { return tavik::drvb::set_servo(drvb_connection, on).code(); }

int zarn_rs232_drvb_set_velocity(int left, int right) {
  return tavik::drvb::set_velocity(drvb_connection, left, right).code();
}

int zarn_rs232_drvb_read_encoder(int* left, int* right) {
  return tavik::drvb::read_encoder(drvb_connection, left, right).code();
}

int zarn_rs232_drvb_read_bumper_emg(int* left, int* right, int* emergency) {
  return tavik::drvb::read_bumper_emg(drvb_connection, left, right, emergency).code();
}

int zarn_rs232_drvb_read_drive_err(char* left, char* right) {
  return tavik::drvb::read_drive_err(drvb_connection, left, right).code();
}

int zarn_rs232_drvb_set_drive_err_reset(void) { return tavik::drvb::set_drive_err_reset(drvb_connection).code(); }

int zarn_rs232_drvb_read_parameter(int id, int* value) {
  return tavik::drvb::read_parameter(drvb_connection, id, value).code();
}

int zarn_rs232_drvb_set_parameter(int id, int value) {
  return tavik::drvb::set_parameter(drvb_connection, id, value).code();
}

}  // extern "C"
