// The power & sensor board half of lib_zarn_rs232.
#include "psb/psb_commands.h"
#include "tavik/zarn_rs232.h"

namespace {
tavik::BoardConnection psb_connection;
}  // namespace

extern "C" {

int zarn_rs232_psb_create(const char* port_name, int timeout_ms) {
  return tavik::connection_open(psb_connection, port_name, timeout_ms);
}

void zarn_rs232_psb_destroy(void) { tavik::connection_close(psb_connection); }

int zarn_rs232_psb_read_power(psb_power_data* data) {
  return tavik::psb::read_power(psb_connection, data).code();
}

int zarn_rs232_psb_read_usonic(int ranges[7]) {
  return tavik::psb::read_usonic(psb_connection, ranges).code();
}

int zarn_rs232_psb_set_power_control(unsigned int device, int on) {
  return tavik::psb::set_power_control(psb_connection, device, on).code();
}

int zarn_rs232_psb_set_usonic_max_dist(int max_dist) {
  return tavik::psb::set_usonic_max_dist(psb_connection, max_dist).code();
}

}  // extern "C"
