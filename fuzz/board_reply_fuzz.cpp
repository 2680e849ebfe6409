// Feeds arbitrary bytes to the libraries' commands as the boards' replies:
// every reader and decoder of both boards must take any line without
// reading or writing out of bounds, and report 0 or -1.
//
// Input: byte 0 picks the command, the rest is what the board sends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "drvb/drvb_commands.h"
#include "fuzz/memory_line.h"
#include "lib_velk_rs232_psb/velk_read_sensor.h"
#include "psb/psb_commands.h"

namespace {

tavik::Result run_command(tavik::BoardConnection& connection, std::uint8_t which) {
  using namespace tavik;
  switch (which % 12) {
    case 0: {
      psb_power_data d;
      return psb::read_power(connection, &d);
    }
    case 1: {
      std::int32_t r[7];
      return psb::read_usonic(connection, r);
    }
    case 2: {
      psb_sensor_data d;
      return velk::read_sensor(connection, &d);
    }
    case 3:
      return psb::set_power_control(connection, which % 7, 1);
    case 4:
      return psb::set_usonic_max_dist(connection, which % 10 - 1);
    case 5: {
      int l, r;
      return drvb::read_encoder(connection, &l, &r);
    }
    case 6: {
      int l, r, e;
      return drvb::read_bumper_emg(connection, &l, &r, &e);
    }
    case 7: {
      char l, r;
      return drvb::read_drive_err(connection, &l, &r);
    }
    case 8: {
      int v;
      return drvb::read_parameter(connection, which % 3, &v);
    }
    case 9:
      return drvb::set_parameter(connection, which % 4, 500);
    case 10:
      return drvb::set_servo(connection, 1);
    default:
      return drvb::set_velocity(connection, -200, 200);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  tavik::fuzz::set_line(data + 1, size - 1);
  tavik::BoardConnection connection;
  if (tavik::connection_open(connection, "line", 1) != 0) std::abort();
  const int result = run_command(connection, data[0]).code();
  if (result != 0 && result != -1) std::abort();
  tavik::connection_close(connection);
  return 0;
}
