// Exports of lib_velk_rs232_psb: the PSB commands on this library's own
// connection, and the float sensor read in place of the integer one.
#include "tavik/velk_rs232_psb.h"

#include "lib_velk_rs232_psb/velk_read_sensor.h"
#include "psb/psb_commands.h"
#include "serial/exchange/last_failure.h"

namespace {
tavik::BoardConnection psb_connection("psb");
}  // namespace

extern "C" {

int velk_rs232_psb_create(const char* port_name, int timeout_ms) {
  tavik::Result why;
  const int code = tavik::connection_open(psb_connection, port_name, timeout_ms, &why);
  return tavik::note_open(code, why, port_name);
}

void velk_rs232_psb_destroy(void) { tavik::connection_close(psb_connection); }

int velk_rs232_psb_read_sensor(psb_sensor_data* data) {
  return tavik::note_result(tavik::velk::read_sensor(psb_connection, data));
}

int velk_rs232_psb_read_power(psb_power_data* data) {
  return tavik::note_result(tavik::psb::read_power(psb_connection, data));
}

int velk_rs232_psb_set_power_control(unsigned int device, int on) {
  return tavik::note_result(tavik::psb::set_power_control(psb_connection, device, on));
}

int velk_rs232_psb_set_usonic_max_dist(int max_dist) {
  return tavik::note_result(tavik::psb::set_usonic_max_dist(psb_connection, max_dist));
}

unsigned int velk_rs232_psb_late_replies(void) { return psb_connection.late.seen.load(); }

int velk_rs232_psb_last_error(void) { return tavik::error_code(tavik::last_failure().failure); }

int velk_rs232_psb_last_refusal(void) { return tavik::last_failure().status; }

int velk_rs232_psb_last_os_error(void) { return tavik::last_failure().os_error; }

const char* velk_rs232_psb_last_error_detail(void) { return tavik::last_failure_detail(); }

const char* velk_rs232_psb_port_device(const char* port_name) { return tavik::port_device(port_name); }

const char* velk_rs232_psb_error_text(int error) { return tavik::error_text(error); }

}  // extern "C"
