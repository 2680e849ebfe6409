// The tavik program against the simulated boards: each command's output in
// both formats, the failure reasons and exit codes the boards' faults
// produce, watch's figures and recording, and ports.
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "tavik/zarn_rs232.h"
#include "tavik_fixture.h"

namespace tavik::test {
namespace {

std::vector<std::string> with(std::vector<std::string> args, const std::string& extra) {
  args.insert(args.begin(), extra);
  return args;
}

TEST_F(TavikTool, CommandsInBothFormats) {
  struct Case {
    std::vector<std::string> args;
    const char* field;  // JSON pointer into the JSON output
    Json value;
    const char* text;  // a line of the plain output
  };
  const Case cases[] = {
      {{"psb", "status"}, "/battery_mv", nullptr, "ranges_mm: "},
      {{"psb", "power", "lcd", "on"}, "/power", "on", "device: lcd"},
      {{"psb", "status"}, "/devices/lcd", true, "devices.lcd: yes"},
      {{"psb", "max-dist", "300"}, "/max_distance_cm", 300, "max_distance_cm: 300"},
      {{"drvb", "status"}, "/emergency_stop", false, "encoders.left: "},
      {{"drvb", "servo", "on"}, "/servo", "on", "servo: on"},
      {{"drvb", "reset-errors"}, "/wheel_errors", "reset", "wheel_errors: reset"},
      {{"drvb", "param", "set", "comm-timeout", "600"}, "/value", 600, "unit: ms"},
      {{"drvb", "param", "get", "comm-timeout"}, "/value", 600, "value: 600"},
  };
  for (const Case& c : cases) {
    const Finished json = run_tavik(with(c.args, "--json"));
    ASSERT_EQ(json.exit_code, 0) << c.args[1] << json.err;
    const Json record = Json::parse(json.out);
    ASSERT_TRUE(record.contains(Json::json_pointer(c.field))) << json.out;
    if (!c.value.is_null()) {
      EXPECT_EQ(record.at(Json::json_pointer(c.field)), c.value) << json.out;
    }
    const Finished text = run_tavik(c.args);
    EXPECT_EQ(text.exit_code, 0) << text.err;
    EXPECT_NE(text.out.find(c.text), std::string::npos) << text.out;
  }
}

TEST_F(TavikTool, FailureReasonsAndExitCodes) {
  struct Case {
    const char* fault;  // a simulator command, or ""
    std::vector<std::string> args;
    int exit_code;
    const char* reason;   // part of the error's reason
    const char* message;  // part of the plain error message
  };
  const Case cases[] = {
      {"fault psb PDR silence",
       {"psb", "status"},
       1,
       "no reply",
       "psb status: read power data on the PSB at COM7"},
      {"fault psb Sar bcc", {"psb", "status"}, 1, "bad check byte", "read ranges on the PSB at COM7"},
      {"fault drvb CG status 5", {"drvb", "reset-errors"}, 1, "refused (status '5')", "on the DRVB at COM8"},
      {"fault drvb AC truncate", {"drvb", "status"}, 1, "malformed reply", "read encoders"},
      {"", {"drvb", "param", "set", "max-velocity", "5000"}, 1, "bad argument", "write max-velocity"},
      {"", {"--psb", "/dev/null", "psb", "status"}, 3, "not a serial device", "open on the PSB at /dev/null"},
      {"", {"--drvb", "COM5", "drvb", "status"}, 3, "missing", "COM5"},
      {"", {"psb", "power", "lamp", "on"}, 2, "usage", "lamp"},
      {"unplug psb", {"psb", "max-dist", "200"}, 3, "missing", "open on the PSB"},
  };
  for (const Case& c : cases) {
    sim_.execute("fault clear");
    if (*c.fault) {
      ASSERT_EQ(sim_.execute(c.fault).rfind("error", 0), std::string::npos) << c.fault;
    }
    const Finished json = run_tavik(with(c.args, "--json"));
    EXPECT_EQ(json.exit_code, c.exit_code) << c.fault << json.err;
    EXPECT_TRUE(json.out.empty()) << json.out;
    const Json error = last_json(json.err).at("error");
    EXPECT_EQ(error.at("exit_code"), c.exit_code);
    EXPECT_NE(error.at("reason").get<std::string>().find(c.reason), std::string::npos) << json.err;
    const Finished text = run_tavik(c.args);
    EXPECT_EQ(text.exit_code, c.exit_code) << c.fault << c.args.back();
    EXPECT_NE(text.err.find(c.message), std::string::npos) << text.err;
  }
}

TEST_F(TavikTool, WatchRecordsRowsCountsLostDeviceAndEndsOnCtrlC) {
  const std::string csv = com_dir_ + "/watch.csv";
  TavikProcess watch({"watch", "--json", "--rate", "10", "--csv", csv});
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  sim_.unplug(sim::Board::kDrvb);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  watch.signal(SIGINT);
  const Finished f = watch.finish();
  ASSERT_EQ(f.exit_code, 0) << f.err;

  const Json summary = last_json(f.out).at("summary");
  EXPECT_EQ(summary.at("ended"), "SIGINT");
  const int polls = summary.at("polls");
  EXPECT_GE(polls, 10);
  EXPECT_EQ(summary.at("psb").at("exchanges"), 2 * polls);
  EXPECT_TRUE(summary.at("psb").at("failures").empty());
  EXPECT_GT(summary.at("psb").at("round_trip_ms").at("median").get<double>(), 0.0);
  EXPECT_GT(summary.at("drvb").at("failures").at("device lost").get<int>(), 0);

  std::ifstream rows(csv);
  std::string line;
  ASSERT_TRUE(std::getline(rows, line));
  const auto columns = std::count(line.begin(), line.end(), ',');
  double last_t = -1;
  int count = 0;
  while (std::getline(rows, line)) {
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), columns) << line;
    const double t = std::stod(line.substr(0, line.find(',')));
    EXPECT_GT(t, last_t) << line;
    EXPECT_GT(std::stoi(line.substr(line.find(',') + 1)), 0) << line;  // the battery, in mV
    last_t = t;
    ++count;
  }
  EXPECT_EQ(count, polls);
}

TEST_F(TavikTool, PortsFindsBothBoardsAndLeavesAHeldPortAlone) {
  auto answers = [] {
    const Finished f = run_tavik({"ports", "--json"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    std::map<std::string, std::string> by_name;
    const Json listed = Json::parse(f.out);
    for (const Json& port : listed.at("ports"))
      by_name[port.at("name").get<std::string>()] = port.at("answer").get<std::string>();
    return by_name;
  };
  auto found = answers();
  EXPECT_EQ(found["COM7"], "psb");
  EXPECT_EQ(found["COM8"], "drvb");

  ASSERT_EQ(zarn_rs232_psb_create("COM7", 100), 0);
  sim_.take_received(sim::Board::kPsb);
  found = answers();
  EXPECT_EQ(found["COM7"], "busy");
  EXPECT_EQ(found["COM8"], "drvb");
  EXPECT_TRUE(sim_.take_received(sim::Board::kPsb).empty());
  const Finished held = run_tavik({"psb", "status"});
  EXPECT_EQ(held.exit_code, 3);
  EXPECT_NE(held.err.find("busy"), std::string::npos) << held.err;
  psb_power_data power{};
  EXPECT_EQ(zarn_rs232_psb_read_power(&power), 0);
  zarn_rs232_psb_destroy();
}

TEST(TavikSimulate, EveryCommandRunsWithoutHardware) {
  const Finished f = run_tavik({"--simulate", "--json", "watch", "--duration", "0.5"});
  ASSERT_EQ(f.exit_code, 0) << f.err;
  std::istringstream lines(f.out);
  std::string line;
  int readings = 0;
  while (std::getline(lines, line)) {
    const Json record = Json::parse(line);
    if (record.contains("board")) ++readings;
    if (record.value("board", "") == "psb") {
      EXPECT_TRUE(record.contains("battery_mv")) << line;
    }
  }
  EXPECT_GE(readings, 4);
}

}  // namespace
}  // namespace tavik::test
