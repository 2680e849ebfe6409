// tavik check, drvb param save/restore, raw and the completion against the
// simulated boards: each case sets the robot up, runs the tool and reads its
// JSON record, its JUnit file (through Python's XML reader, as a CI server
// reads it) and what the drive board received.
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>

#include "tavik_fixture.h"

namespace tavik::test {
namespace {

// The JUnit file as a CI server reads it: "tests failures errors" and the
// names of the testcases that did not pass.
std::string read_junit(const std::string& path) {
  const std::string command =
      "python3 -c 'import sys, xml.etree.ElementTree as E; s = "
      "E.parse(sys.argv[1]).getroot().find(\"testsuite\"); "
      "print(s.get(\"tests\"), s.get(\"failures\"), s.get(\"errors\"), *[c.get(\"name\") for c in "
      "s.iter(\"testcase\") "
      "if len(c)])' " +
      path + " 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  std::string out;
  char buf[512];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
  ::pclose(pipe);
  return out.substr(0, out.find_last_not_of('\n') + 1);
}

// The velocity requests among the bytes a board received: "BE100;100", "BE;".
std::vector<std::string> velocities(const sim::Bytes& received) {
  std::vector<std::string> out;
  const std::string text(received.begin(), received.end());
  for (std::size_t at = 0; (at = text.find("\x02"
                                           "BE",
                                           at)) != std::string::npos;
       ++at)
    out.push_back(text.substr(at + 1, text.find('\x03', at) - at - 1));
  return out;
}

std::map<std::string, std::string> outcomes(const Json& report) {
  std::map<std::string, std::string> out;
  for (const Json& item : report.at("items")) out[item.at("name")] = item.at("outcome");
  return out;
}

TEST_F(TavikTool, CheckSaveRestoreAndRaw) {
  const std::string junit = com_dir_ + "/check.xml";
  const std::string limits = com_dir_ + "/limits.json";
  const std::string backup = com_dir_ + "/params.json";
  struct Case {
    const char* name;
    std::vector<std::string> setup;  // simulator commands
    std::vector<std::string> args;   // after --json
    const char* file_text;           // written to the limits or backup file first, or null
    int exit_code;
    std::map<std::string, std::string> items = {};  // check: item outcomes expected
    const char* junit = nullptr;                    // check: what the JUnit reader says, or null
    std::function<void(const Finished&)> more = nullptr;
  };
  const Case cases[] = {
      {"healthy",
       {},
       {"check", "--junit", junit},
       nullptr,
       0,
       {{"battery", "PASS"}, {"psb_link", "PASS"}, {"range_front", "PASS"}, {"emergency_stop", "PASS"}},
       "26 0 0"},
      {"low battery",
       {"battery 11.0"},
       {"check", "--junit", junit},
       nullptr,
       1,
       {{"battery", "FAIL"}},
       "26 1 0 battery"},
      {"emergency stop",
       {"emg on"},
       {"check", "--junit", junit},
       nullptr,
       1,
       {{"emergency_stop", "FAIL"}, {"bumper_left", "PASS"}},
       "26 1 0 emergency_stop"},
      {"silent drive board",
       {"fault drvb * silence"},
       {"check", "--junit", junit},
       nullptr,
       1,
       {{"drvb_link", "ERROR"}, {"max_velocity", "ERROR"}, {"battery", "PASS"}},
       "26 0 9 drvb_link bumper_left bumper_right emergency_stop wheel_error_left wheel_error_right "
       "max_velocity "
       "comm_timeout control_period"},
      {"limits file",
       {},
       {"check", "--limits", limits},
       R"({"battery": {"low": 12.8, "high": null}, "device_lcd": {"expected": "on"}, "comm_timeout": {"expected": 500}})",
       1,
       {{"battery", "FAIL"}, {"device_lcd", "FAIL"}, {"comm_timeout", "PASS"}}},
      {"unknown item", {}, {"check", "--limits", limits}, R"({"batery": {"low": 11}})", 2, {}},
      {"bad limit", {}, {"check", "--limits", limits}, R"({"comm_timeout": {"expected": 5}})", 2, {}},
      {"drive",
       {},
       {"check", "--drive"},
       nullptr,
       0,
       {{"drive_left", "PASS"}, {"drive_right", "PASS"}},
       nullptr,
       [&](const Finished&) {
         const std::vector<std::string> sent = velocities(sim_.take_received(sim::Board::kDrvb));
         ASSERT_GE(sent.size(), 5u);
         EXPECT_EQ(sent.front(), "BE100;100");
         EXPECT_EQ(sent.back(), "BE;");  // the stop, 0,0
         EXPECT_FALSE(sim_.status().servo_on);
       }},
      {"drive with a bumper pressed",
       {"bump left"},
       {"check", "--drive"},
       nullptr,
       1,
       {{"bumper_left", "FAIL"}, {"drive_left", "ERROR"}},
       nullptr,
       [&](const Finished&) { EXPECT_TRUE(velocities(sim_.take_received(sim::Board::kDrvb)).empty()); }},
      {"save",
       {},
       {"drvb", "param", "save", backup},
       nullptr,
       0,
       {},
       nullptr,
       [&](const Finished&) {  // changed after the backup, for restore to undo
         ASSERT_EQ(run_tavik({"drvb", "param", "set", "comm-timeout", "600"}).exit_code, 0);
       }},
      {"restore",
       {},
       {"drvb", "param", "restore", backup},
       nullptr,
       0,
       {},
       nullptr,
       [&](const Finished& f) {
         EXPECT_EQ(last_json(f.out).at("parameters").at("comm-timeout"), 500) << f.out;
       }},
      {"bad backup",
       {},
       {"drvb", "param", "restore", backup},
       R"({"parameters": {"max-velocity": 800, "control-period": 5}})",
       2,
       {},
       nullptr,
       [&](const Finished& f) {
         EXPECT_NE(f.err.find("control-period: 5 is not in the range 8 to 1000"), std::string::npos) << f.err;
         const sim::Bytes sent = sim_.take_received(sim::Board::kDrvb);
         EXPECT_EQ(std::string(sent.begin(), sent.end()).find("XB"), std::string::npos);  // nothing written
       }},
      {"raw",
       {},
       {"raw", "drvb", "AC0"},
       nullptr,
       0,
       {},
       nullptr,
       [&](const Finished& f) {
         const Json record = last_json(f.out);
         EXPECT_EQ(record.at("outcome"), "ok") << f.out;
         EXPECT_EQ(record.at("reply").get<std::string>().size(), 24u * 3 - 1) << f.out;  // 24 bytes in hex;
       }},
      {"raw refused",
       {"fault drvb CG status 5"},
       {"raw", "--hex", "drvb", "4347"},
       nullptr,
       1,
       {},
       nullptr,
       [&](const Finished& f) {
         EXPECT_EQ(last_json(f.out).at("outcome"), "refused (status '5')") << f.out;
       }},
      {"raw drive refused", {}, {"raw", "drvb", "BE100;100"}, nullptr, 2, {}},
  };
  for (const Case& c : cases) {
    for (const char* reset : {"fault clear", "emg off", "bump off", "battery 12.6"}) sim_.execute(reset);
    sim_.take_received(sim::Board::kDrvb);
    for (const std::string& command : c.setup)
      ASSERT_EQ(sim_.execute(command).rfind("error", 0), std::string::npos);
    if (c.file_text != nullptr) std::ofstream(c.args[1] == "--limits" ? limits : backup) << c.file_text;
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--json");
    const Finished f = run_tavik(args);
    EXPECT_EQ(f.exit_code, c.exit_code) << c.name << "\n" << f.out << f.err;
    if (!c.items.empty()) {
      const Json report = last_json(f.out);
      EXPECT_EQ(report.at("outcome"), c.exit_code == 0 ? "PASS" : "FAIL") << c.name;
      const auto found = outcomes(report);
      for (const auto& [item, outcome] : c.items)
        EXPECT_EQ(found.at(item), outcome) << c.name << ": " << item;
    }
    if (c.junit != nullptr) {
      EXPECT_EQ(read_junit(junit), c.junit) << c.name;
    }
    if (c.exit_code == 2) {
      EXPECT_EQ(last_json(f.err).at("error").at("exit_code"), 2) << c.name << f.err;
    }
    if (c.more) c.more(f);
  }
}

TEST_F(TavikTool, CompletionNamesCommandsAndValues) {
  struct Case {
    std::vector<std::string> words;
    const char* candidates;
  };
  const Case cases[] = {
      {{"dr"}, "drvb\n"},
      {{"drvb", "s"}, "status\nservo\nstop\n"},
      {{"drvb", "param", ""}, "get\nset\nsave\nrestore\n"},
      {{"--json", "drvb", "param", "get", "c"}, "comm-timeout\ncontrol-period\n"},
      {{"check", "--l"}, "--limits\n"},
      {{"raw", ""}, "psb\ndrvb\n"},
      {{"bridge", "--he"}, "--help\n"},  // the command's and the tool's, once
      {{"--psb", "rfc"}, "rfc2217://\n"},
      {{"drvb", "status", "--drvb", "tc"}, "tcp://\n"},
      {{"--drvb", "COM8"}, "COM8\n"},  // the simulator's, under TAVIK_COM_DIR
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.words;
    args.insert(args.begin(), "__complete");
    EXPECT_EQ(run_tavik(args).out, c.candidates) << c.words.back();
  }
  // A port option offers the machine's ports, the ports file's COM names
  // and the network schemes; under TAVIK_COM_DIR the simulator's names and
  // not the ports file's.
  const std::string home = com_dir_ + "/home";
  std::filesystem::create_directories(home + "/.config/tavik");
  std::ofstream(home + "/.config/tavik/ports") << "COM42 = tcp://127.0.0.1:7001\n";
  const char* old_home = std::getenv("HOME");
  const std::string saved = old_home != nullptr ? old_home : "";
  ::setenv("HOME", home.c_str(), 1);
  const std::string simulated = run_tavik({"__complete", "--psb", ""}).out;
  ::unsetenv("TAVIK_COM_DIR");
  const std::string mapped = run_tavik({"__complete", "--psb", ""}).out;
  ::setenv("TAVIK_COM_DIR", com_dir_.c_str(), 1);
  ::setenv("HOME", saved.c_str(), 1);
  for (const char* port : {"COM7\n", "COM8\n", "tcp://\n", "rfc2217://\n"})
    EXPECT_NE(simulated.find(port), std::string::npos) << port << " not in " << simulated;
  EXPECT_EQ(simulated.find("COM42\n"), std::string::npos) << simulated;
  for (const char* port : {"COM42\n", "tcp://\n", "rfc2217://\n"})
    EXPECT_NE(mapped.find(port), std::string::npos) << port << " not in " << mapped;
}

}  // namespace
}  // namespace tavik::test
