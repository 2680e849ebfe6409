/* Consumer check of the installed packages, in C, built with pkg-config:
 *
 *   cc main.c $(pkg-config --cflags --libs zarn_rs232 velk_rs232_psb)
 *
 * Run against tavik-sim (TAVIK_COM_DIR set): reads the power & sensor board
 * on COM7 through both libraries and the drive board on COM8 through
 * lib_zarn_rs232. Exits 0 when every read succeeded with plausible values. */
#include <stdio.h>
#include <tavik/velk_rs232_psb.h>
#include <tavik/zarn_rs232.h>

static int failures = 0;

static void check(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "consumer-c: %s failed\n", what);
    ++failures;
  }
}

int main(void) {
  psb_power_data power;
  int max_velocity = 0;
  int left = -1, right = -1, emergency = -1;
  psb_sensor_data sensor;

  check(zarn_rs232_psb_create("COM7", 200) == 0, "zarn_rs232_psb_create(COM7)");
  check(zarn_rs232_psb_read_power(&power) == 0, "zarn_rs232_psb_read_power");
  /* 12.6 V open-circuit, sagging with the load; in mV */
  check(power.battery_volt > 10000 && power.battery_volt < 13000, "battery voltage");
  zarn_rs232_psb_destroy();

  check(zarn_rs232_drvb_create("COM8", 200) == 0, "zarn_rs232_drvb_create(COM8)");
  check(zarn_rs232_drvb_read_parameter(0, &max_velocity) == 0, "zarn_rs232_drvb_read_parameter(0)");
  check(max_velocity == 1000, "Max Velocity of 1000 mm/s");
  check(zarn_rs232_drvb_read_bumper_emg(&left, &right, &emergency) == 0, "zarn_rs232_drvb_read_bumper_emg");
  check(left == 0 && right == 0 && emergency == 0, "bumpers and emergency stop clear");
  zarn_rs232_drvb_destroy();

  /* The port is free again: the other library opens the same board. */
  check(velk_rs232_psb_create("COM7", 200) == 0, "velk_rs232_psb_create(COM7)");
  check(velk_rs232_psb_read_sensor(&sensor) == 0, "velk_rs232_psb_read_sensor");
  check(sensor.ranges[0] > 0.0f, "front ultrasonic range");
  velk_rs232_psb_destroy();

  printf("consumer-c: battery %d mV, max velocity %d mm/s, front range %.3f m\n", (int)power.battery_volt,
         max_velocity, (double)sensor.ranges[0]);
  return failures == 0 ? 0 : 1;
}
