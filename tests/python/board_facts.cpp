// Prints the board facts (facts/) that the Python package keeps a copy of,
// as JSON, for test_board_facts.py.
#include <iostream>
#include <nlohmann/json.hpp>

#include "facts/defaults.h"
#include "facts/drvb_facts.h"
#include "facts/psb_facts.h"

int main() {
  using namespace tavik;
  nlohmann::json devices = nlohmann::json::array();
  for (const psb::DeviceFact& d : psb::kDeviceTable)
    devices.push_back({{"number", d.number}, {"name", d.name}});
  nlohmann::json max_dist_cm = nlohmann::json::array();
  for (int code = 0; code < psb::kMaxDistCodes; ++code) max_dist_cm.push_back(psb::max_dist_cm(code));
  nlohmann::json parameters = nlohmann::json::array();
  for (const drvb::ParameterInfo& p : drvb::kParameters)
    parameters.push_back({{"label", p.label}, {"unit", p.unit}, {"min", p.min}, {"max", p.max}});
  const nlohmann::json facts = {
      {"devices", devices},
      {"range_count", psb::kRangeCount},
      {"max_dist_cm", max_dist_cm},
      {"parameters", parameters},
      {"psb_port", kDefaultPsbPort},
      {"drvb_port", kDefaultDrvbPort},
      {"timeout_ms", kDefaultTimeoutMs},
  };
  std::cout << facts.dump() << '\n';
}
