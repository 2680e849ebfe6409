// The bench recording as CSV, written by `tavik watch --csv` and by the
// console's Trends window: the line of column names, then one row per poll,
// a column per reading and a reason column per board that says why its
// empty cells are empty. Times are seconds since the start, to the
// millisecond; the start itself, as UTC, is the last column of the first
// row (a cell, not a comment line, so that spreadsheets read the file as
// it is). A recording whose wheel separation is known (tavik watch's) has
// the wheel odometry's columns too, after the drive board's and before
// the start's, so that every other column keeps its place.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "facts/psb_facts.h"

namespace tavik::recording {

// The names of the power & sensor board's switched devices, by device
// number, and of the ultrasonic sensors' places on the rim, by range number.
inline constexpr const auto& kPsbDevices = psb::kDeviceNames;
inline constexpr const auto& kRangePlaces = psb::kRangeNames;

inline constexpr std::size_t kDeviceCount = std::size(kPsbDevices);
inline constexpr std::size_t kRangeCount = std::size(kRangePlaces);

// One poll of the power & sensor board; a reading not taken is empty.
struct PsbCells {
  std::optional<int> battery_mv;
  std::optional<int> current_ma;
  std::optional<std::array<bool, kDeviceCount>> devices;
  std::optional<std::array<int, kRangeCount>> ranges_mm;
  std::string reason;  // why a reading is missing; empty when none failed
};

// One poll of the drive board.
struct DrvbCells {
  std::optional<std::array<int, 2>> encoders;  // left, right
  std::optional<std::array<bool, 2>> bumpers;
  std::optional<bool> emergency_stop;
  std::optional<std::array<int, 2>> wheel_errors;
  std::string reason;
};

// The wheel odometry after a poll (odometry/wheel_odometry.h): the pose,
// the twist and the jumps dropped since the start.
struct OdometryCells {
  double x_m = 0;
  double y_m = 0;
  double heading_rad = 0;
  double v_m_s = 0;
  double omega_rad_s = 0;
  unsigned dropped_jumps = 0;
};

// A board's reason in a row whose reads failed: the reason itself when every
// failed read gives the same one ("device lost"), else "read: why; ..." for
// each of them.
class FailureReasons {
 public:
  void add(const std::string& read, const std::string& why);
  std::string text() const { return alike_ ? same_ : each_; }

 private:
  std::string same_, each_;
  bool alike_ = true;
};

// The line of column names: t_s, ..., drvb_reason, started_utc; with
// `odometry`, odom_x_m, ..., odom_dropped_jumps before started_utc.
std::string csv_header(bool odometry = false);
// One row at `t_s` seconds since the start (written to the millisecond);
// `started` ("2026-12-07T18:24:01.123Z") in the first row, "" in the others.
std::string csv_row(double t_s, const PsbCells& psb, const DrvbCells& drvb, const std::string& started);
// A row of a header with the odometry's columns: its cells are empty when
// the poll gave no odometry (its encoders were not read).
std::string csv_row(double t_s, const PsbCells& psb, const DrvbCells& drvb,
                    const std::optional<OdometryCells>& odometry, const std::string& started);

// "2026-12-07T18:24:01.123Z"
std::string utc_text(std::chrono::system_clock::time_point time);
// Seconds rounded to the millisecond, as the rows give them.
double round_ms(double seconds);

}  // namespace tavik::recording
