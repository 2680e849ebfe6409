// Opens a power & sensor board through lib_velk_rs232_psb, reads the power
// data and the ultrasonic ranges once and prints them; a failure is printed
// with the library's reason.
//
//   tavik-psb-demo PORT   PORT as the library takes it: COM7, /dev/ttyUSB0, ...
#include <cstdio>
#include <cstring>

#include "tavik/velk_rs232_psb.h"
#ifdef _WIN32
#include "packaging/windows/running_mutex.h"
#endif

namespace {

// The library's reason for the call that just failed.
const char* reason() { return velk_rs232_psb_error_text(velk_rs232_psb_last_error()); }

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  tavik::hold_running_mutex();
#endif
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "usage: %s PORT\n"
        "Reads the power data and the ultrasonic ranges of the power & sensor board on PORT\n"
        "(COM7, /dev/ttyUSB0, ttyUSB0, ...) once. man tavik-psb-demo explains the port names.\n",
        argv[0]);
    return 0;
  }
  // Any other option is a mistake, not a port name.
  if (argc != 2 || argv[1][0] == '-' || argv[1][0] == '\0') {
    std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
    return 2;
  }
  if (velk_rs232_psb_create(argv[1], 200) != 0) {
    std::fprintf(stderr, "%s: cannot open %s: %s\n", argv[0], argv[1], reason());
    return 1;
  }
  int status = 0;
  psb_power_data power;
  if (velk_rs232_psb_read_power(&power) == 0) {
    std::printf("battery %d  current %d\n", power.battery_volt, power.consum_cur);
    std::printf("drive %d  sensors %d  lrf %d  sbc %d  sg %d  lcd %d  servo %d\n", power.drive_state,
                power.sensors_state, power.lrf_state, power.sbc_state, power.sg_state, power.lcd_state,
                power.servo_state);
  } else {
    std::fprintf(stderr, "%s: power data: %s\n", argv[0], reason());
    status = 1;
  }
  psb_sensor_data sensor;
  if (velk_rs232_psb_read_sensor(&sensor) == 0) {
    for (int i = 0; i < 7; ++i)
      std::printf("ultrasonic %d: %f\n", i + 1, static_cast<double>(sensor.ranges[i]));
  } else {
    std::fprintf(stderr, "%s: ultrasonic ranges: %s\n", argv[0], reason());
    status = 1;
  }
  velk_rs232_psb_destroy();
  return status;
}
