// Consumer check of the installed packages, in C++, built through
// find_package(tavik). Run against tavik-sim (TAVIK_COM_DIR set): reads the
// power & sensor board on COM7 through lib_velk_rs232_psb and the drive board
// on COM8 through lib_zarn_rs232, both open at once. Exits 0 when every read
// succeeded with plausible values.
#include <tavik/velk_rs232_psb.h>
#include <tavik/zarn_rs232.h>

#include <cstdio>

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "consumer-cxx: %s failed\n", what);
    ++failures;
  }
}

}  // namespace

int main() {
  check(velk_rs232_psb_create("COM7", 200) == 0, "velk_rs232_psb_create(COM7)");
  check(zarn_rs232_drvb_create("COM8", 200) == 0, "zarn_rs232_drvb_create(COM8)");

  psb_power_data power{};
  check(velk_rs232_psb_read_power(&power) == 0, "velk_rs232_psb_read_power");
  check(power.battery_volt > 10000 && power.battery_volt < 13000, "battery voltage");
  check(power.drive_state == 1 && power.sensors_state == 1, "drive and sensors on at power-up");

  psb_sensor_data sensor{};
  check(velk_rs232_psb_read_sensor(&sensor) == 0, "velk_rs232_psb_read_sensor");
  int in_range = 0;
  for (float range : sensor.ranges) in_range += range > 0.0f ? 1 : 0;
  check(in_range == 7, "seven ultrasonic ranges");

  int left = -1, right = -1;
  check(zarn_rs232_drvb_read_encoder(&left, &right) == 0, "zarn_rs232_drvb_read_encoder");
  check(left == right, "encoders of a robot at rest agree");

  velk_rs232_psb_destroy();
  zarn_rs232_drvb_destroy();
  std::printf("consumer-cxx: battery %d mV, current %d mA, encoders %d;%d\n", power.battery_volt,
              power.consum_cur, left, right);
  return failures == 0 ? 0 : 1;
}
