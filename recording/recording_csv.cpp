#include "recording/recording_csv.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <utility>

namespace tavik::recording {
namespace {

constexpr const char* kDrvbColumns[] = {"encoder_left",     "encoder_right",  "bumper_left",
                                        "bumper_right",     "emergency_stop", "wheel_error_left",
                                        "wheel_error_right"};

constexpr const char* kOdometryColumns[] = {"odom_x_m",   "odom_y_m",         "odom_heading_rad",
                                            "odom_v_m_s", "odom_omega_rad_s", "odom_dropped_jumps"};

// A text cell, quoted when it holds a comma, a quote or a line end.
std::string text_cell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char ch : text) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return quoted + "\"";
}

template <class T, std::size_t N>
void add_cells(std::string& line, const std::optional<std::array<T, N>>& values) {
  for (std::size_t i = 0; i < N; ++i) {
    line += ',';
    if (values) line += std::to_string(static_cast<int>((*values)[i]));
  }
}

void add_cell(std::string& line, const std::optional<int>& value) {
  line += ',';
  if (value) line += std::to_string(*value);
}

// A number to `decimals` places (to_chars, as the time below: no locale),
// without a sign on a zero.
void add_number(std::string& line, double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double rounded = std::round(value * scale) / scale + 0.0;
  char text[40];
  const auto written = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, decimals);
  line.append(text, written.ptr);
}

void add_odometry(std::string& line, const std::optional<OdometryCells>& odometry) {
  if (!odometry) {
    line.append(std::size(kOdometryColumns), ',');
    return;
  }
  // A tenth of a millimetre, a hundred-thousandth of a radian.
  for (const auto& [value, decimals] : {std::pair{odometry->x_m, 4},
                                        {odometry->y_m, 4},
                                        {odometry->heading_rad, 5},
                                        {odometry->v_m_s, 4},
                                        {odometry->omega_rad_s, 5}}) {
    line += ',';
    add_number(line, value, decimals);
  }
  line += ',' + std::to_string(odometry->dropped_jumps);
}

std::string row_start(double t_s, const PsbCells& psb, const DrvbCells& drvb) {
  // Not printf: a program that took the user's locale (the console) would
  // write a decimal comma.
  char time[32];
  const auto written = std::to_chars(time, time + sizeof time, t_s, std::chars_format::fixed, 3);
  std::string line(time, written.ptr);
  add_cell(line, psb.battery_mv);
  add_cell(line, psb.current_ma);
  add_cells(line, psb.devices);
  add_cells(line, psb.ranges_mm);
  line += ',' + text_cell(psb.reason);
  add_cells(line, drvb.encoders);
  add_cells(line, drvb.bumpers);
  add_cell(line, drvb.emergency_stop ? std::optional<int>(*drvb.emergency_stop ? 1 : 0) : std::nullopt);
  add_cells(line, drvb.wheel_errors);
  line += ',' + text_cell(drvb.reason);
  return line;
}

}  // namespace

void FailureReasons::add(const std::string& read, const std::string& why) {
  alike_ = alike_ && (same_.empty() || same_ == why);
  same_ = why;
  each_ += (each_.empty() ? "" : "; ") + read + ": " + why;
}

std::string csv_header(bool odometry) {
  std::string line = "t_s,battery_mv,current_ma";
  for (const char* device : kPsbDevices) line += std::string(",power_") + device;
  for (const char* place : kRangePlaces) line += std::string(",range_") + place + "_mm";
  line += ",psb_reason";
  for (const char* name : kDrvbColumns) line += std::string(",") + name;
  line += ",drvb_reason";
  if (odometry)
    for (const char* name : kOdometryColumns) line += std::string(",") + name;
  return line + ",started_utc";
}

std::string csv_row(double t_s, const PsbCells& psb, const DrvbCells& drvb, const std::string& started) {
  return row_start(t_s, psb, drvb) + ',' + started;
}

std::string csv_row(double t_s, const PsbCells& psb, const DrvbCells& drvb,
                    const std::optional<OdometryCells>& odometry, const std::string& started) {
  std::string line = row_start(t_s, psb, drvb);
  add_odometry(line, odometry);
  return line + ',' + started;
}

std::string utc_text(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() % 1000;
  if (ms < 0) ms += 1000;
  std::tm utc{};
#ifdef _WIN32
  ::gmtime_s(&utc, &seconds);
#else
  ::gmtime_r(&seconds, &utc);
#endif
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms));
  return text;
}

double round_ms(double seconds) {
  return static_cast<double>(static_cast<long long>(seconds * 1000 + 0.5)) / 1000;
}

}  // namespace tavik::recording
