// Every device, maximum distance and drive parameter of the board facts is
// one the tool names, the libraries send and the simulator carries out.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "facts/drvb_facts.h"
#include "facts/psb_facts.h"
#include "tavik/tavik_fixture.h"

namespace tavik::test {
namespace {

using BoardFacts = TavikTool;

TEST_F(BoardFacts, EveryDeviceIsSwitchedByItsNameAndReadBackUnderIt) {
  for (const psb::DeviceFact& device : psb::kDeviceTable) {
    for (const bool on : {true, false}) {
      auto expected = sim_.status().devices;
      expected[static_cast<std::size_t>(device.number)] = on;
      const Finished run = run_tavik({"psb", "power", device.name, on ? "on" : "off"});
      ASSERT_EQ(run.exit_code, 0) << device.name << ": " << run.err;
      EXPECT_EQ(sim_.status().devices, expected) << device.name;
      const Json status = last_json(run_tavik({"--json", "psb", "status"}).out);
      EXPECT_EQ(status["devices"][device.name], on) << device.name;
    }
  }
}

TEST_F(BoardFacts, EveryMaximumDistanceSetsItsCodeAndNoOtherIsTaken) {
  for (int code = 0; code < psb::kMaxDistCodes; ++code) {
    const std::string cm = std::to_string(psb::max_dist_cm(code));
    const Finished run = run_tavik({"psb", "max-dist", cm});
    ASSERT_EQ(run.exit_code, 0) << cm << ": " << run.err;
    EXPECT_EQ(sim_.status().max_dist_code, code) << cm;
  }
  for (const int cm : {psb::max_dist_cm(-1), psb::max_dist_cm(psb::kMaxDistCodes), psb::max_dist_cm(1) + 1}) {
    const int before = sim_.status().max_dist_code;
    EXPECT_EQ(run_tavik({"psb", "max-dist", std::to_string(cm)}).exit_code, 2) << cm;
    EXPECT_EQ(sim_.status().max_dist_code, before) << cm;
  }
}

TEST_F(BoardFacts, EachDriveParameterKeepsItsOwnValueWithinItsLimits) {
  // A value of each parameter's own, within its limits, so that a parameter
  // read from another's register shows.
  std::vector<int> values;
  for (const drvb::ParameterInfo& p : drvb::kParameters) {
    const int value = p.min + static_cast<int>(values.size()) + 1;
    values.push_back(value);
    const Finished run = run_tavik({"drvb", "param", "set", p.name, std::to_string(value)});
    ASSERT_EQ(run.exit_code, 0) << p.name << ": " << run.err;
  }
  for (std::size_t i = 0; i < drvb::kParameters.size(); ++i) {
    const drvb::ParameterInfo& p = drvb::kParameters[i];
    const Json got = last_json(run_tavik({"--json", "drvb", "param", "get", p.name}).out);
    EXPECT_EQ(got["value"], values[i]) << p.name;
    EXPECT_EQ(got["unit"], p.unit) << p.name;
    for (const int outside : {p.min - 1, p.max + 1}) {
      const std::uint64_t writes = sim_.status().drvb.served["XB"];
      EXPECT_EQ(run_tavik({"drvb", "param", "set", p.name, std::to_string(outside)}).exit_code, 2) << p.name;
      EXPECT_EQ(sim_.status().drvb.served["XB"], writes) << p.name << " " << outside;
    }
  }
}

// "drive, sensors, ... or servo"
std::string device_list() {
  std::string list;
  for (int i = 0; i < psb::kDeviceCount; ++i)
    list += std::string(i == 0 ? "" : i == psb::kDeviceCount - 1 ? " or " : ", ") + psb::kDeviceTable[i].name;
  return list;
}

TEST_F(BoardFacts, TheHelpAndTheManualNameEveryDeviceAndDistance) {
  std::ifstream man_file(TAVIK_MAN_PAGE);
  std::string man((std::istreambuf_iterator<char>(man_file)), std::istreambuf_iterator<char>());
  std::replace(man.begin(), man.end(), '\n', ' ');
  const std::string first = std::to_string(psb::max_dist_cm(0));
  const std::string last = std::to_string(psb::max_dist_cm(psb::kMaxDistCodes - 1));
  const std::string steps = " in steps of " + std::to_string(psb::max_dist_cm(1) - psb::max_dist_cm(0));
  EXPECT_NE(man.find("Switches " + device_list() + "."), std::string::npos) << device_list();
  EXPECT_NE(man.find(first + " to " + last + " cm" + steps + "."), std::string::npos);
  EXPECT_NE(run_tavik({"psb", "power", "--help"}).out.find(device_list()), std::string::npos);
  EXPECT_NE(run_tavik({"psb", "max-dist", "--help"}).out.find(first + " to " + last + steps),
            std::string::npos);
}

}  // namespace
}  // namespace tavik::test
