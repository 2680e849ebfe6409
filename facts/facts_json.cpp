// Writes the board facts as JSON to the file its argument names, for what
// is not C++: the fleet page (made into its facts.js, web/CMakeLists.txt)
// and the Python package's test of its copy (tests/python).
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

#include "facts/defaults.h"
#include "facts/drvb_facts.h"
#include "facts/psb_facts.h"

int main(int argc, char** argv) {
  using namespace tavik;
  using json = nlohmann::ordered_json;
  if (argc != 2) {
    std::cerr << "usage: tavik-facts-json FILE\n";
    return 2;
  }
  json devices = json::array();
  for (const psb::DeviceFact& d : psb::kDeviceTable)
    devices.push_back({{"number", d.number}, {"code", d.code}, {"name", d.name}, {"label", d.label}});
  json sensors = json::array();
  for (const psb::RangeSensorFact& s : psb::kRangeSensors)
    sensors.push_back({{"name", s.name}, {"label", s.label}, {"angle_deg", s.angle_deg}});
  // The board's code, the libraries' (and the bridge's) argument, the distance.
  json distances = json::array();
  for (int code = 0; code < psb::kMaxDistCodes; ++code)
    distances.push_back({{"code", code}, {"argument", code - 1}, {"cm", psb::max_dist_cm(code)}});
  json parameters = json::array();
  for (const drvb::ParameterInfo& p : drvb::kParameters)
    parameters.push_back(
        {{"name", p.name}, {"label", p.label}, {"unit", p.unit}, {"min", p.min}, {"max", p.max}});
  const json facts = {
      {"devices", devices},
      {"range_sensors", sensors},
      {"max_distances", distances},
      {"power_up_max_distance_code", psb::kPowerUpMaxDistCode},
      {"parameters", parameters},
      {"velocity_period_ms", kVelocityPeriod.count()},
      {"defaults",
       {{"psb_port", kDefaultPsbPort},
        {"drvb_port", kDefaultDrvbPort},
        {"timeout_ms", kDefaultTimeoutMs},
        {"poll_rate_hz", kDefaultPollRateHz}}},
  };
  std::ofstream out(argv[1]);
  out << facts.dump(2) << '\n';
  out.close();
  if (!out) {
    std::cerr << "tavik-facts-json: cannot write " << argv[1] << '\n';
    return 1;
  }
  return 0;
}
