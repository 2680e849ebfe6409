// The power & sensor board half of lib_zarn_rs232.
#include "psb/psb_commands.h"
#include "serial/exchange/last_failure.h"
#include "tavik/zarn_rs232.h"

namespace {
tavik::BoardConnection psb_connection("psb");
}  // namespace

extern "C" {

int zarn_rs232_psb_create(const char* port_name, int timeout_ms) {
  tavik::Result why;
  const int code = tavik::connection_open(psb_connection, port_name, timeout_ms, &why);
  return tavik::note_open(code, why, port_name);
}

void zarn_rs232_psb_destroy(void) { tavik::connection_close(psb_connection); }

int zarn_rs232_psb_read_power(psb_power_data* data) {
  return tavik::note_result(tavik::psb::read_power(psb_connection, data));
}

int zarn_rs232_psb_read_usonic(int ranges[7]) {
  return tavik::note_result(tavik::psb::read_usonic(psb_connection, ranges));
}

int zarn_rs232_psb_set_power_control(unsigned int device, int on) {
  return tavik::note_result(tavik::psb::set_power_control(psb_connection, device, on));
}

int zarn_rs232_psb_set_usonic_max_dist(int max_dist) {
  return tavik::note_result(tavik::psb::set_usonic_max_dist(psb_connection, max_dist));
}

unsigned int zarn_rs232_psb_late_replies(void) { return psb_connection.late.seen.load(); }

// The last error belongs to the library, whichever board failed.
int zarn_rs232_last_error(void) { return tavik::error_code(tavik::last_failure().failure); }

int zarn_rs232_last_refusal(void) { return tavik::last_failure().status; }

int zarn_rs232_last_os_error(void) { return tavik::last_failure().os_error; }

const char* zarn_rs232_last_error_detail(void) { return tavik::last_failure_detail(); }

const char* zarn_rs232_port_device(const char* port_name) { return tavik::port_device(port_name); }

const char* zarn_rs232_error_text(int error) { return tavik::error_text(error); }

}  // extern "C"
