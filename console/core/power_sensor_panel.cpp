// The power & sensor panel: ultrasonic ranges, maximum distance, power data
// and the fourteen device power buttons.
#include <cstdint>

#include "console/core/console_dlg.h"
#include "console/core/console_text.h"
#include "console/core/control_ids.h"
#include "tavik/velk_rs232_psb.h"

namespace tavik::console {
namespace {

constexpr int kUsonicBarMax = 150;

const char* on_off(std::int32_t state) { return state != 0 ? "On" : "Off"; }

}  // namespace

void CConsoleDlg::OnUsonicSet() {
  if (!m_bPsbConnected) {
    window_.ShowMessage(kSerialNotConnected);
    return;
  }
  const int max_dist = window_.GetListSelection(IDC_USONIC_MAX_DIST);
  Measured(psb_link_, [&] { return velk_rs232_psb_set_usonic_max_dist(max_dist); });
}

void CConsoleDlg::OnPowerButton(const PowerButton& button) {
  PowerRequest(button) = true;
  WakePowerCtrl();
}

void CConsoleDlg::InitUsonicBars() {
  for (int id = IDC_USONIC_BAR1; id <= IDC_USONIC_BAR7; ++id) window_.SetProgressRange(id, 0, kUsonicBarMax);
  for (int id = IDC_USONIC_BAR1; id <= IDC_USONIC_BAR7; ++id) window_.SetProgressPos(id, 0);
}

void CConsoleDlg::UsonicStep() {
  psb_sensor_data sensor{};
  std::string why;
  const int ret = Measured(
      psb_link_, [&] { return velk_rs232_psb_read_sensor(&sensor); }, &why);
  diagnostics_.print("ret: %d \n", ret);
  if (ret == 0)
    trends_.add_ranges(TrendHistory::Clock::now(), sensor.ranges);
  else
    trends_.add_failure(TrendSource::kRanges, TrendHistory::Clock::now(), why);
  // A failed read shows no ranges: old ones would look like the board's
  // word about obstacles it no longer reports.
  for (int i = 0; i < 7; ++i) {
    window_.SetControlText(IDC_USONIC_RANGE1 + i, ret == 0 ? format_text("%f", sensor.ranges[i]) : kNoValue);
  }
  MarkStale(kUsonicReadouts, ret != 0);
}

void CConsoleDlg::PowerDataStep() {
  psb_power_data power{};
  std::string why;
  const int ret = Measured(
      psb_link_, [&] { return velk_rs232_psb_read_power(&power); }, &why);
  MarkStale(kPowerReadouts, ret != 0);
  if (ret == 0) {
    // Device bits in the board's device order: drive, sensors, lrf, sbc, sg, lcd, servo.
    const std::int32_t states[] = {power.drive_state, power.sensors_state, power.lrf_state,  power.sbc_state,
                                   power.sg_state,    power.lcd_state,     power.servo_state};
    std::uint32_t bits = 0, bit = 1;
    for (std::int32_t state : states) {
      if (state != 0) bits |= bit;
      bit <<= 1;
    }
    trends_.add_power(TrendHistory::Clock::now(), power.battery_volt, power.consum_cur, bits);
  } else {
    trends_.add_failure(TrendSource::kPower, TrendHistory::Clock::now(), why);
  }
  // A failed read leaves a zeroed record: shown, it would read as a flat
  // battery and every device off while the board may well have them on.
  if (ret != 0) {
    for (int id : kPowerReadouts) window_.SetControlText(id, kNoValue);
    return;
  }
  window_.SetControlText(IDC_BATTERY_VOLT, format_text("%d", power.battery_volt));
  window_.SetControlText(IDC_CONSUM_CUR, format_text("%d", power.consum_cur));
  window_.SetControlText(IDC_DRIVE_STATE, on_off(power.drive_state));
  window_.SetControlText(IDC_SG_STATE, on_off(power.sg_state));
  window_.SetControlText(IDC_LRF_STATE, on_off(power.lrf_state));
  window_.SetControlText(IDC_SERVO_STATE, on_off(power.servo_state));
  window_.SetControlText(IDC_SENSORS_STATE, on_off(power.sensors_state));
  window_.SetControlText(IDC_SBC_STATE, on_off(power.sbc_state));
  window_.SetControlText(IDC_LCD_STATE, on_off(power.lcd_state));
}

void CConsoleDlg::WakePowerCtrl() {
  {
    std::lock_guard lock(power_wake_mutex_);
    power_wake_pending_ = true;
  }
  power_wake_.notify_one();
}

void CConsoleDlg::PowerCtrlStep() {
  // Pending requests wait for a connection. Looking once per pass keeps a
  // connect that happens during the pass from reordering them.
  if (!m_bPsbConnected) return;
  for (const PowerButton& button : kPowerButtons) {
    // Taking the request before sending it keeps a click made during the
    // exchange: it is sent again in the next pass.
    if (PowerRequest(button).exchange(false)) {
      Measured(psb_link_, [&] { return velk_rs232_psb_set_power_control(button.device, button.on); });
    }
  }
}

}  // namespace tavik::console
