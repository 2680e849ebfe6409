// Exports of lib_velk_rs232_psb: the PSB commands on this library's own
// connection, and the float sensor read in place of the integer one.
#include "lib_velk_rs232_psb/velk_read_sensor.h"
#include "psb/psb_commands.h"
#include "tavik/velk_rs232_psb.h"

namespace {
tavik::BoardConnection psb_connection;
}  // namespace

extern "C" {

int velk_rs232_psb_create(const char* port_name, int timeout_ms) {
  return tavik::connection_open(psb_connection, port_name, timeout_ms);
}

void velk_rs232_psb_destroy(void) { tavik::connection_close(psb_connection); }

int velk_rs232_psb_read_sensor(psb_sensor_data* data) {
  return tavik::velk::read_sensor(psb_connection, data).code();
}

int velk_rs232_psb_read_power(psb_power_data* data) {
  return tavik::psb::read_power(psb_connection, data).code();
}

int velk_rs232_psb_set_power_control(unsigned int device, int on) {
  return tavik::psb::set_power_control(psb_connection, device, on).code();
}

int velk_rs232_psb_set_usonic_max_dist(int max_dist) {
  return tavik::psb::set_usonic_max_dist(psb_connection, max_dist).code();
}

}  // extern "C"
