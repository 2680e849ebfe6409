// The power & sensor board's inner working: the battery, the current drawn
// by the devices switched on and by the wheels, the seven device switches,
// the ultrasonic maximum distance and the seven ranges.
//
// Battery: an open-circuit voltage with a sag of its own that follows the
// load through the internal resistance, quickly when the load rises and
// slowly when it falls. Power data fields: 0 battery in 0.1 V, 1 charge in
// percent, 2 board temperature in degrees C, 3 current in 0.1 A, 4 charger
// (always 0), 5 reserved (0), 6 drive, sensors, LRF and SBC at bits 0..3,
// 7 SG at bit 1, 8 LCD at bit 1 and servo at bit 2, 9 seconds since power-up.
//
// Ranges are in mm; maximum distance code c gives psb::max_dist_cm(c), so
// the codes 1..9 stand for 150..550 cm. Ranges are 0 while the sensors are
// switched off.
//
// Not thread-safe.
#pragma once

#include <array>
#include <random>
#include <string_view>

#include "sim/models/frame_builder.h"
#include "sim/models/sim_status.h"
#include "sim/models/world.h"

namespace tavik::sim {

inline constexpr double kBatteryFullVolt = 12.6;
inline constexpr double kBatteryEmptyVolt = 10.5;
inline constexpr double kBatteryResistanceOhm = 0.08;
inline constexpr double kSagFallSeconds = 0.3;  // time constant while the load rises
inline constexpr double kSagRiseSeconds = 4.0;  // and while the battery recovers
inline constexpr double kBoardCurrentAmp = 0.25;
// By PSB device number: drive, sensors, LRF, SBC, SG, LCD, servo.
inline constexpr std::array<double, kDeviceCount> kDeviceCurrentAmp = {0.4, 0.15, 0.8, 1.2, 0.5, 0.35, 0.3};
// Each wheel draws this much per m/s it turns, and the drive holds this
// much while its servo is on.
inline constexpr double kWheelAmpPerMetrePerSecond = 2.5;
inline constexpr double kServoHoldAmp = 0.3;
inline constexpr int kDefaultMaxDistCode = psb::kPowerUpMaxDistCode;

// The current the drive board's wheels and servo draw.
double drive_current(double speed_left_mm_s, double speed_right_mm_s, bool servo_on);

// Maximum distance code 0..9 in mm.
int max_distance_mm(int code);

class PowerBoard {
 public:
  explicit PowerBoard(std::uint64_t seed);

  // The reply to one request; empty when the board knows no such command.
  Bytes answer(std::string_view command, const World& world, double drive_amp);

  // Advances the battery by dt seconds under the present load.
  void step(double dt_s, double drive_amp);

  // Open-circuit voltage, 0..30 V; anything else is ignored.
  void set_battery(double open_circuit_volt);
  void reset();

  double current(double drive_amp) const;
  double battery_volt() const { return open_circuit_volt_ - sag_volt_; }
  const std::array<bool, kDeviceCount>& devices() const { return devices_; }
  int max_dist_code() const { return max_dist_code_; }
  // The ranges a "Sar" would report now, before sensor jitter.
  std::array<int, kRangeSensors> ranges(const World& world) const;

 private:
  Bytes answer_power_data(double drive_amp) const;
  Bytes answer_ranges(const World& world);
  Bytes answer_power_control(std::string_view args);

  std::array<bool, kDeviceCount> devices_{};
  double open_circuit_volt_ = kBatteryFullVolt;
  double sag_volt_ = 0;
  double uptime_s_ = 0;
  int max_dist_code_ = kDefaultMaxDistCode;
  std::uint8_t cycle_ = 0;
  std::mt19937_64 rng_;
};

}  // namespace tavik::sim
