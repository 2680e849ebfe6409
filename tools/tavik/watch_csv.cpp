#include "watch_csv.h"

#include <cstdio>

namespace tavik::cli {
namespace {

struct Column {
  const char* name;
  bool from_psb;
  Json::json_pointer at;
};

const std::vector<Column>& columns() {
  static const std::vector<Column> all = [] {
    std::vector<Column> c{{"battery_mv", true, Json::json_pointer("/battery_mv")},
                          {"current_ma", true, Json::json_pointer("/current_ma")}};
    static const char* const kRangeNames[] = {"range_1_mm", "range_2_mm", "range_3_mm", "range_4_mm",
                                              "range_5_mm", "range_6_mm", "range_7_mm"};
    for (int i = 0; i < 7; ++i)
      c.push_back({kRangeNames[i], true, Json::json_pointer("/ranges_mm/" + std::to_string(i))});
    const std::pair<const char*, const char*> drvb[] = {{"encoder_left", "/encoders/left"},
                                                        {"encoder_right", "/encoders/right"},
                                                        {"bumper_left", "/bumpers/left"},
                                                        {"bumper_right", "/bumpers/right"},
                                                        {"emergency_stop", "/emergency_stop"},
                                                        {"wheel_error_left", "/wheel_errors/left"},
                                                        {"wheel_error_right", "/wheel_errors/right"}};
    for (const auto& [name, at] : drvb) c.push_back({name, false, Json::json_pointer(at)});
    return c;
  }();
  return all;
}

}  // namespace

std::string csv_header() {
  std::string line = "t_s";
  for (const Column& c : columns()) line += std::string(",") + c.name;
  return line;
}

std::string csv_row(double t, const Json& psb, const Json& drvb) {
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", t);
  std::string line = time;
  for (const Column& c : columns()) {
    const Json& reading = c.from_psb ? psb : drvb;
    line += ',';
    if (!reading.contains(c.at)) continue;
    const Json& value = reading.at(c.at);
    line += value.is_boolean() ? (value.get<bool>() ? "1" : "0") : value.dump();
  }
  return line;
}

}  // namespace tavik::cli
