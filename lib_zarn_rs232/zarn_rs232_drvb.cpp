// The drive board half of lib_zarn_rs232: its own connection and lock,
// independent of the power & sensor board's.
#include "drvb/drvb_commands.h"
#include "serial/exchange/last_failure.h"
#include "tavik/zarn_rs232.h"

namespace {
tavik::BoardConnection drvb_connection("drvb");
}  // namespace

extern "C" {

int zarn_rs232_drvb_create(const char* port_name, int timeout_ms) {
  tavik::Result why;
  const int code = tavik::connection_open(drvb_connection, port_name, timeout_ms, &why);
  return tavik::note_open(code, why, port_name);
}

void zarn_rs232_drvb_destroy(void) { tavik::connection_close(drvb_connection); }

int zarn_rs232_drvb_set_servo(int on) {
  return tavik::note_result(tavik::drvb::set_servo(drvb_connection, on));
}

int zarn_rs232_drvb_set_velocity(int left, int right) {
  return tavik::note_result(tavik::drvb::set_velocity(drvb_connection, left, right));
}

int zarn_rs232_drvb_read_encoder(int* left, int* right) {
  return tavik::note_result(tavik::drvb::read_encoder(drvb_connection, left, right));
}

int zarn_rs232_drvb_read_bumper_emg(int* left, int* right, int* emergency) {
  return tavik::note_result(tavik::drvb::read_bumper_emg(drvb_connection, left, right, emergency));
}

int zarn_rs232_drvb_read_drive_err(char* left, char* right) {
  return tavik::note_result(tavik::drvb::read_drive_err(drvb_connection, left, right));
}

int zarn_rs232_drvb_set_drive_err_reset(void) {
  return tavik::note_result(tavik::drvb::set_drive_err_reset(drvb_connection));
}

int zarn_rs232_drvb_read_parameter(int id, int* value) {
  return tavik::note_result(tavik::drvb::read_parameter(drvb_connection, id, value));
}

int zarn_rs232_drvb_set_parameter(int id, int value) {
  return tavik::note_result(tavik::drvb::set_parameter(drvb_connection, id, value));
}

unsigned int zarn_rs232_drvb_late_replies(void) { return drvb_connection.late.seen.load(); }

}  // extern "C"
