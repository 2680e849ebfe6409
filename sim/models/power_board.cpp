#include "sim/models/power_board.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "facts/board_requests.h"

namespace tavik::sim {
namespace {

constexpr char kAccepted = '0';
constexpr char kRefused = '1';
constexpr int kJitterMm = 2;
constexpr std::size_t kSensorsDevice = 1;
// Devices on at power-up: drive, sensors and SBC.
constexpr std::array<bool, kDeviceCount> kDevicesAtPowerUp = {true, true, false, true, false, false, false};

unsigned tenths(double value) { return static_cast<unsigned>(std::lround(std::max(0.0, value) * 10)); }

}  // namespace

double drive_current(double speed_left_mm_s, double speed_right_mm_s, bool servo_on) {
  return (std::fabs(speed_left_mm_s) + std::fabs(speed_right_mm_s)) / 1000 * kWheelAmpPerMetrePerSecond +
         (servo_on ? kServoHoldAmp : 0.0);
}

int max_distance_mm(int code) { return 10 * psb::max_dist_cm(std::clamp(code, 0, psb::kMaxDistCodes - 1)); }

PowerBoard::PowerBoard(std::uint64_t seed) : devices_(kDevicesAtPowerUp), rng_(seed) {}

void PowerBoard::reset() {
  devices_ = kDevicesAtPowerUp;
  sag_volt_ = 0;
  uptime_s_ = 0;
  max_dist_code_ = kDefaultMaxDistCode;
}

void PowerBoard::set_battery(double open_circuit_volt) {
  if (open_circuit_volt >= 0 && open_circuit_volt <= 30) open_circuit_volt_ = open_circuit_volt;
}

double PowerBoard::current(double drive_amp) const {
  double amp = kBoardCurrentAmp + drive_amp;
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    if (devices_[i]) amp += kDeviceCurrentAmp[i];
  }
  return amp;
}

void PowerBoard::step(double dt_s, double drive_amp) {
  uptime_s_ += dt_s;
  const double target = current(drive_amp) * kBatteryResistanceOhm;
  const double tau = target > sag_volt_ ? kSagFallSeconds : kSagRiseSeconds;
  sag_volt_ += (target - sag_volt_) * (1 - std::exp(-dt_s / tau));
}

std::array<int, kRangeSensors> PowerBoard::ranges(const World& world) const {
  std::array<int, kRangeSensors> out{};
  if (!devices_[kSensorsDevice]) return out;
  const int limit = max_distance_mm(max_dist_code_);
  for (int i = 0; i < kRangeSensors; ++i) {
    const double distance = std::min(world.wall_distance(i), static_cast<double>(limit));
    out[static_cast<std::size_t>(i)] = static_cast<int>(std::lround(distance));
  }
  return out;
}

Bytes PowerBoard::answer(std::string_view command, const World& world, double drive_amp) {
  if (command == psb::kPowerDataRequest.letters) return answer_power_data(drive_amp);
  if (command == psb::kRangesRequest.letters) return answer_ranges(world);
  if (command.size() == 4 && command.starts_with(psb::kMaxDistRequest.letters)) {
    const char code = command[3];
    if (code < '0' || code >= '0' + psb::kMaxDistCodes) return {};
    max_dist_code_ = code - '0';
    return frame(std::string(command));
  }
  if (command.size() == 4 && command.starts_with(psb::kSwitchRequest.letters))
    return answer_power_control(command.substr(1));
  return {};
}

Bytes PowerBoard::answer_power_data(double drive_amp) const {
  const double volt = battery_volt();
  const double amp = current(drive_amp);
  const double charge =
      std::clamp((volt - kBatteryEmptyVolt) / (kBatteryFullVolt - kBatteryEmptyVolt), 0.0, 1.0);
  const unsigned drive_bits =
      (devices_[0] ? 1u : 0u) | (devices_[1] ? 2u : 0u) | (devices_[2] ? 4u : 0u) | (devices_[3] ? 8u : 0u);
  const unsigned sg_bits = devices_[4] ? 2u : 0u;
  const unsigned lcd_servo_bits = (devices_[5] ? 2u : 0u) | (devices_[6] ? 4u : 0u);
  const unsigned temperature = 28 + static_cast<unsigned>(std::lround(amp * 2));
  std::string body;
  for (unsigned field :
       {tenths(volt), static_cast<unsigned>(std::lround(charge * 100)), temperature, tenths(amp), 0u, 0u,
        drive_bits, sg_bits, lcd_servo_bits, static_cast<unsigned>(uptime_s_)}) {
    if (!body.empty()) body += ';';
    body += std::to_string(field);
  }
  return frame(body);
}

Bytes PowerBoard::answer_ranges(const World& world) {
  // 40 data bytes: the seven ranges big-endian, then per sensor an echo
  // strength (255 near, falling with distance), the maximum distance code
  // and a cycle counter, then per sensor a state (0 echo, 1 nothing within
  // the maximum distance, 2 switched off) and the sensors' power bit.
  const auto clean = ranges(world);
  const int limit = max_distance_mm(max_dist_code_);
  std::uniform_int_distribution<int> jitter(-kJitterMm, kJitterMm);
  Bytes data(40, 0);
  for (std::size_t i = 0; i < clean.size(); ++i) {
    int range = clean[i];
    if (range > 0 && range < limit) range = std::clamp(range + jitter(rng_), 0, limit);
    data[2 * i] = static_cast<std::uint8_t>(range >> 8);
    data[2 * i + 1] = static_cast<std::uint8_t>(range & 0xFF);
    data[14 + i] = static_cast<std::uint8_t>(std::clamp(255 - range / 25, 0, 255));
    data[32 + i] = !devices_[kSensorsDevice] ? 2 : (range >= limit ? 1 : 0);
  }
  data[21] = static_cast<std::uint8_t>(max_dist_code_);
  data[22] = cycle_++;
  data[39] = devices_[kSensorsDevice] ? 1 : 0;
  return counted_frame(data);
}

Bytes PowerBoard::answer_power_control(std::string_view args) {
  const std::string_view code = args.substr(0, 2);
  const char state = args[2];
  const auto device = std::find_if(std::begin(psb::kDeviceTable), std::end(psb::kDeviceTable),
                                   [&](const psb::DeviceFact& d) { return code == d.code; });
  if (device == std::end(psb::kDeviceTable) || (state != '0' && state != '1')) return status_frame(kRefused);
  devices_[static_cast<std::size_t>(device->number)] = state == '1';
  return status_frame(kAccepted);
}

}  // namespace tavik::sim
