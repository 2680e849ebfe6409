#include "watch_csv.h"

namespace tavik::cli {
namespace {

template <class T, std::size_t N>
std::optional<std::array<T, N>> values(const Json& reading, const std::vector<std::string>& at) {
  std::array<T, N> out{};
  for (std::size_t i = 0; i < N; ++i) {
    const Json::json_pointer pointer(at[i]);
    if (!reading.contains(pointer)) return std::nullopt;
    out[i] = reading.at(pointer).get<T>();
  }
  return out;
}

template <class T>
std::optional<T> value(const Json& reading, const char* at) {
  const Json::json_pointer pointer(at);
  if (!reading.contains(pointer)) return std::nullopt;
  return reading.at(pointer).get<T>();
}

recording::PsbCells psb_cells(const Json& psb) {
  using namespace recording;
  std::vector<std::string> devices, ranges;
  for (const char* device : kPsbDevices) devices.push_back(std::string("/devices/") + device);
  for (std::size_t i = 0; i < kRangeCount; ++i) ranges.push_back("/ranges_mm/" + std::to_string(i));
  PsbCells p;
  p.battery_mv = value<int>(psb, "/battery_mv");
  p.current_ma = value<int>(psb, "/current_ma");
  p.devices = values<bool, kDeviceCount>(psb, devices);
  p.ranges_mm = values<int, kRangeCount>(psb, ranges);
  p.reason = psb.value("reason", "");
  return p;
}

recording::DrvbCells drvb_cells(const Json& drvb) {
  recording::DrvbCells d;
  d.encoders = values<int, 2>(drvb, {"/encoders/left", "/encoders/right"});
  d.bumpers = values<bool, 2>(drvb, {"/bumpers/left", "/bumpers/right"});
  d.emergency_stop = value<bool>(drvb, "/emergency_stop");
  d.wheel_errors = values<int, 2>(drvb, {"/wheel_errors/left", "/wheel_errors/right"});
  d.reason = drvb.value("reason", "");
  return d;
}

}  // namespace

std::string csv_row(double t, const Json& psb, const Json& drvb, const std::string& started) {
  return recording::csv_row(t, psb_cells(psb), drvb_cells(drvb), started);
}

std::string csv_row(double t, const Json& psb, const Json& drvb,
                    const std::optional<recording::OdometryCells>& odometry, const std::string& started) {
  return recording::csv_row(t, psb_cells(psb), drvb_cells(drvb), odometry, started);
}

}  // namespace tavik::cli
