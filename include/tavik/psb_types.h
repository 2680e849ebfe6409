/* Records filled by the power & sensor board commands of both libraries. */
#ifndef TAVIK_PSB_TYPES_H
#define TAVIK_PSB_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Power data of the power & sensor board. Battery and current are the board's
 * reply fields multiplied by 100; each state is 0 (off) or 1 (on). */
typedef struct psb_power_data {
  int32_t battery_volt;
  int32_t consum_cur;
  int32_t drive_state;
  int32_t sensors_state;
  int32_t lrf_state;
  int32_t sbc_state;
  int32_t sg_state;
  int32_t lcd_state;
  int32_t servo_state;
} psb_power_data;

/* Ultrasonic ranges as read by velk_rs232_psb_read_sensor. */
typedef struct psb_sensor_data {
  float ranges[7];        /* sensor 1..7, raw board value x 0.001 */
  uint32_t reserved;      /* never written by the library */
  uint8_t extra_bytes[8]; /* reply bytes 34..40 in [0..6]; [7] never written */
} psb_sensor_data;

/* Devices switched by *_psb_set_power_control. */
enum psb_device {
  PSB_DEVICE_DRIVE = 0,
  PSB_DEVICE_SENSORS = 1,
  PSB_DEVICE_LRF = 2,
  PSB_DEVICE_SBC = 3,
  PSB_DEVICE_SG = 4,
  PSB_DEVICE_LCD = 5,
  PSB_DEVICE_SERVO = 6
};

#ifdef __cplusplus
}
#endif

#endif
