#include "watch_csv.h"

#include <cstdio>

#include "board_readings.h"

namespace tavik::cli {
namespace {

struct Column {
  std::string name;
  bool from_psb;
  Json::json_pointer at;
};

const std::vector<Column>& columns() {
  static const std::vector<Column> all = [] {
    std::vector<Column> c{{"battery_mv", true, Json::json_pointer("/battery_mv")},
                          {"current_ma", true, Json::json_pointer("/current_ma")}};
    for (const char* device : kPsbDevices) {
      c.push_back(
          {"power_" + std::string(device), true, Json::json_pointer("/devices/" + std::string(device))});
    }
    for (std::size_t i = 0; i < std::size(kRangePlaces); ++i) {
      c.push_back({"range_" + std::string(kRangePlaces[i]) + "_mm", true,
                   Json::json_pointer("/ranges_mm/" + std::to_string(i))});
    }
    c.push_back({"psb_reason", true, Json::json_pointer("/reason")});
    const std::pair<const char*, const char*> drvb[] = {{"encoder_left", "/encoders/left"},
                                                        {"encoder_right", "/encoders/right"},
                                                        {"bumper_left", "/bumpers/left"},
                                                        {"bumper_right", "/bumpers/right"},
                                                        {"emergency_stop", "/emergency_stop"},
                                                        {"wheel_error_left", "/wheel_errors/left"},
                                                        {"wheel_error_right", "/wheel_errors/right"}};
    for (const auto& [name, at] : drvb) c.push_back({name, false, Json::json_pointer(at)});
    c.push_back({"drvb_reason", false, Json::json_pointer("/reason")});
    return c;
  }();
  return all;
}

// A text cell, quoted when it holds a comma, a quote or a line end.
std::string text_cell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char ch : text) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
  return quoted + "\"";
}

}  // namespace

std::string csv_header(const std::string& started) {
  std::string line = "# started " + started + "\nt_s";
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
    if (value.is_string())
      line += text_cell(value.get<std::string>());
    else
      line += value.is_boolean() ? (value.get<bool>() ? "1" : "0") : value.dump();
  }
  return line;
}

}  // namespace tavik::cli
