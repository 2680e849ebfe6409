// tavik check, drvb param save/restore, raw and the completion against the
// simulated boards: each case sets the robot up, runs the tool and reads its
// JSON record, its JUnit file (through Python's XML reader, as a CI server
// reads it) and what the drive board received.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <thread>
#include <tuple>

#include "tavik_fixture.h"

namespace tavik::test {
namespace {

using namespace std::chrono_literals;

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
  const std::string limits = com_dir_ + "/limits.json";
  const std::string backup = com_dir_ + "/params.json";
  struct Case {
    const char* name;
    std::vector<std::string> setup;  // simulator commands
    std::vector<std::string> args;   // after --json
    const char* file_text;           // written to the limits or backup file first, or null
    int exit_code;
    std::map<std::string, std::string> items = {};  // check: item outcomes expected
    std::function<void(const Finished&)> more = nullptr;
  };
  const Case cases[] = {
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
       [&](const Finished&) { EXPECT_TRUE(velocities(sim_.take_received(sim::Board::kDrvb)).empty()); }},
      {"save",
       {},
       {"drvb", "param", "save", backup},
       nullptr,
       0,
       {},
       [&](const Finished&) {  // changed after the backup, for restore to undo
         ASSERT_EQ(run_tavik({"drvb", "param", "set", "comm-timeout", "600"}).exit_code, 0);
       }},
      {"restore",
       {},
       {"drvb", "param", "restore", backup},
       nullptr,
       0,
       {},
       [&](const Finished& f) {
         EXPECT_EQ(last_json(f.out).at("parameters").at("comm-timeout"), 500) << f.out;
       }},
      {"bad backup",
       {},
       {"drvb", "param", "restore", backup},
       R"({"parameters": {"max-velocity": 800, "control-period": 5}})",
       2,
       {},
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
       [&](const Finished& f) {
         EXPECT_EQ(last_json(f.out).at("outcome"), "refused (status '5')") << f.out;
       }},
      {"raw drive refused", {}, {"raw", "drvb", "BE100;100"}, nullptr, 2, {}},
      {"records under a file",
       {},
       {"check", "--attach", backup + "/records"},
       "{}",
       2,
       {},
       [](const Finished& f) { EXPECT_NE(f.err.find("file-not-writable"), std::string::npos) << f.err; }},
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
    if (c.exit_code == 2) {
      EXPECT_EQ(last_json(f.err).at("error").at("exit_code"), 2) << c.name << f.err;
    }
    if (c.more) c.more(f);
  }
}

// What the line's tools read of each check: the record against the schema,
// the JUnit file through Python's XML reader (as a CI server reads it) and
// the attachments' hashes (check_report_reader.py), for record and JUnit
// file pairs.
Json read_as_the_line_does(const std::vector<std::string>& pairs) {
  std::string command = std::string("python3 ") + TAVIK_CHECK_READER + " " + TAVIK_CHECK_SCHEMA;
  for (const std::string& path : pairs) command += " " + path;
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return Json();
  std::string out;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
  ::pclose(pipe);
  const Json read = Json::parse(out, nullptr, false);
  EXPECT_TRUE(read.is_array()) << out;
  return read;
}

// "PASS", "FAIL", "PASS marginal", "PASS 2 attempts": an item's outcome as the cases give it.
std::string judged(const Json& item) {
  std::string text = item.at("outcome");
  if (item.at("marginal").get<bool>()) text += " marginal";
  if (item.at("attempts").get<int>() > 1)
    text += " " + std::to_string(item.at("attempts").get<int>()) + " attempts";
  return text;
}

// The JUnit testcase's result for an item's outcome.
std::string junit_result(const std::string& outcome) {
  return outcome == "PASS"    ? "pass"
         : outcome == "FAIL"  ? "failure"
         : outcome == "ERROR" ? "error"
                              : "skipped";
}

TEST_F(TavikTool, CheckLeavesARecordTheLineCanTraceTheRobotBy) {
  const std::string limits = com_dir_ + "/limits.json";
  const std::string attach = com_dir_ + "/records/line3";  // made by the check
  // The person at the station: answers each prompt on the simulated robot.
  const auto presses_each = [&](TavikProcess& tool) {
    for (const auto& [prompt, press, release] : {std::tuple{"Press the left bumper", "bump left", "bump off"},
                                                 {"Press the right bumper", "bump right", "bump off"},
                                                 {"Press the emergency stop", "emg on", "emg off"}}) {
      ASSERT_TRUE(tool.wait_for_error(prompt)) << prompt;
      sim_.execute(press);
      ASSERT_TRUE(tool.wait_for_error("Release it")) << prompt;
      sim_.execute(release);
    }
  };
  struct Case {
    const char* name;
    std::vector<std::string> setup;  // simulator commands
    std::vector<std::string> args;   // after --json
    int exit_code;
    const char* outcome;
    std::map<std::string, std::string> items;  // as judged() gives them
    const char* limits_text = nullptr;
    std::function<void(TavikProcess&)> at_station = nullptr;
    // The record, what the line's tools read of it, and the velocities the drive board got.
    std::function<void(const Json& record, const Json& read, const std::vector<std::string>& sent)> more =
        nullptr;
  };
  const Case cases[] = {
      {"passing robot",
       {},
       {"check", "--dut", "R-0042", "--station", "line3-eol", "--operator", "ann", "--attach", attach},
       0,
       "PASS",
       {{"battery", "PASS"},
        {"emergency_stop", "PASS"},
        {"bumper_left_press", "SKIP"},
        {"max_velocity", "PASS"}},
       nullptr,
       nullptr,
       [&](const Json& r, const Json& read, const std::vector<std::string>&) {
         EXPECT_EQ(r.at("items").size(), 29u);
         EXPECT_EQ(read.at("properties").at("dut"), "R-0042");
         EXPECT_EQ(read.at("properties").at("station"), "line3-eol");
         EXPECT_EQ(read.at("properties").at("operator"), "ann");
         EXPECT_EQ(read.at("properties").at("psb_target"), com_dir_ + "/COM7");
         EXPECT_EQ(read.at("attachments"), (Json{{"wire_trace", "ok"}, {"record", "ok"}}));
         const std::string trace_file = r.at("attachments").at(0).at("file");
         std::ifstream trace(trace_file);
         std::string first;
         std::getline(trace, first);
         EXPECT_NE(first.find(" psb tx "), std::string::npos) << first;
         namespace fs = std::filesystem;
         const std::string record_file = r.at("attachments").at(1).at("file");
         EXPECT_EQ(fs::status(trace_file).permissions(), fs::status(record_file).permissions());
       }},
      {"low battery", {"battery 11.0"}, {"check"}, 1, "FAIL", {{"battery", "FAIL"}, {"current", "PASS"}}},
      {"emergency stop pressed",
       {"emg on"},
       {"check"},
       1,
       "FAIL",
       {{"emergency_stop", "FAIL"}, {"bumper_left", "PASS"}}},
      {"silent drive board",
       {"fault drvb * silence"},
       {"check"},
       1,
       "ERROR",
       {{"drvb_link", "ERROR"},
        {"wheel_error_left", "ERROR"},
        {"max_velocity", "ERROR"},
        {"battery", "PASS"}}},
      {"marginal battery",
       {},
       {"check", "--limits", limits},
       0,
       "PASS",
       {{"battery", "PASS marginal"}, {"current", "PASS"}},
       R"({"battery": {"marginal_low": 12.8, "marginal_high": 14}})",
       nullptr,
       [&](const Json& r, const Json& read, const std::vector<std::string>&) {
         EXPECT_EQ(r.at("summary").at("marginal"), 1);
         EXPECT_EQ(read.at("cases").at("battery").at("properties").at("marginal_low"), "12.8");
         EXPECT_EQ(r.at("limits").at("file"), limits);
         EXPECT_EQ(read.at("limits"), "ok");  // its hash is the file's
       }},
      {"retry passes on the second attempt",
       {"fault psb PDR silence n=1"},
       {"check", "--retries", "2"},
       0,
       "PASS",
       {{"psb_link", "PASS 2 attempts"}, {"battery", "PASS"}},
       nullptr,
       nullptr,
       [](const Json& r, const Json&, const std::vector<std::string>&) {
         const Json& link = r.at("items").at(0);
         ASSERT_EQ(link.at("earlier_attempts").size(), 1u) << link;
         EXPECT_EQ(link.at("earlier_attempts").at(0).at("outcome"), "FAIL");  // a failed exchange
       }},
      {"empty device id asked again",
       {},
       {"check", "--dut", "-"},
       0,
       "PASS",
       {{"battery", "PASS"}},
       nullptr,
       [](TavikProcess& tool) {
         ASSERT_TRUE(tool.wait_for_error("device id"));
         tool.type("\r\n");
         ASSERT_TRUE(tool.wait_for_error("the device id was empty"));
         tool.type("R-0044\n");
       },
       [](const Json& r, const Json&, const std::vector<std::string>&) { EXPECT_EQ(r.at("dut"), "R-0044"); }},
      {"prompts answered",
       {},
       {"check", "--dut", "-", "--interactive", "--prompt-timeout", "10"},
       0,
       "PASS",
       {{"bumper_left_press", "PASS"}, {"bumper_right_press", "PASS"}, {"emergency_stop_press", "PASS"}},
       nullptr,
       [&](TavikProcess& tool) {
         ASSERT_TRUE(tool.wait_for_error("device id"));
         tool.type("R-0043\r\n");  // a scanner's line end
         presses_each(tool);
       },
       [](const Json& r, const Json&, const std::vector<std::string>&) { EXPECT_EQ(r.at("dut"), "R-0043"); }},
      {"prompts not answered in time",
       {},
       {"check", "--interactive", "--prompt-timeout", "0.2"},
       1,
       "FAIL",
       {{"bumper_left_press", "FAIL"}, {"emergency_stop_press", "FAIL"}, {"battery", "PASS"}}},
      {"Ctrl-C at a prompt",
       {},
       {"check", "--interactive"},
       130,
       "ABORTED",
       {{"battery", "PASS"}, {"bumper_left_press", "ERROR"}, {"max_velocity", "ERROR"}},
       nullptr,
       [](TavikProcess& tool) {
         ASSERT_TRUE(tool.wait_for_error("Press the left bumper"));
         tool.signal(SIGINT);
       },
       [](const Json& r, const Json& read, const std::vector<std::string>&) {
         EXPECT_EQ(r.at("aborted"), "SIGINT");
         EXPECT_EQ(r.at("items").back().at("reason"), "stopped");
         EXPECT_GT(read.at("suite").at("errors"), 0);  // no green build for a stopped run
       }},
      {"Ctrl-C during the drive",
       {},
       {"check", "--drive", "--for", "5"},
       130,
       "ABORTED",
       {{"drive_left", "ERROR"}, {"drive_right", "ERROR"}, {"battery", "PASS"}},
       nullptr,
       [&](TavikProcess& tool) {
         for (int i = 0; i < 100 && !sim_.status().servo_on; ++i) std::this_thread::sleep_for(50ms);
         std::this_thread::sleep_for(300ms);  // driving
         tool.signal(SIGINT);
       },
       [](const Json& r, const Json&, const std::vector<std::string>& sent) {
         EXPECT_EQ(r.at("aborted"), "SIGINT");
         EXPECT_EQ(r.at("items").back().at("reason"), "stopped");
         ASSERT_FALSE(sent.empty());
         EXPECT_EQ(sent.front(), "BE100;100");
         EXPECT_EQ(sent.back(), "BE;");  // the stop, 0,0
       }},
      {"port that does not open",
       {},
       {"--psb", "COM5", "check"},
       3,
       "ERROR",
       {{"psb_link", "ERROR"}, {"battery", "ERROR"}, {"drvb_link", "PASS"}, {"max_velocity", "PASS"}},
       nullptr,
       nullptr,
       [](const Json& r, const Json& read, const std::vector<std::string>&) {
         EXPECT_EQ(r.at("items").at(1).at("reason"), "port-missing");
         EXPECT_EQ(read.at("suite").at("errors"), 17);
         // The port's reason once, on the board and its first item; the others refer to it.
         const std::string why = r.at("boards").at("psb").at("error");
         EXPECT_EQ(r.at("items").at(0).at("message"), "the port COM5 did not open: " + why);
         EXPECT_EQ(r.at("items").at(1).at("message"), "the port COM5 did not open (see psb_link)");
         EXPECT_EQ(read.at("properties").at("psb_error"), why);
       }},
  };
  // Each case's record and JUnit file, read together at the end (one Python start).
  std::vector<Json> records;
  std::vector<std::vector<std::string>> sent;
  std::vector<std::string> files;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* reset : {"fault clear", "emg off", "bump off", "battery 12.6"}) sim_.execute(reset);
    sim_.take_received(sim::Board::kDrvb);
    for (const std::string& command : c.setup)
      ASSERT_EQ(sim_.execute(command).rfind("error", 0), std::string::npos) << command;
    if (c.limits_text != nullptr) std::ofstream(limits) << c.limits_text;
    const std::string n = std::to_string(records.size());
    const std::string junit = com_dir_ + "/line-" + n + ".xml";
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--json");
    args.insert(args.end(), {"--junit", junit});
    TavikProcess tool(args, nullptr, {}, c.at_station != nullptr);
    if (c.at_station) c.at_station(tool);
    const Finished f = tool.finish();
    ASSERT_EQ(f.exit_code, c.exit_code) << f.out << f.err;
    sent.push_back(velocities(sim_.take_received(sim::Board::kDrvb)));
    const Json r = last_json(f.out);
    EXPECT_EQ(r.at("outcome"), c.outcome);
    for (const auto& [name, expected] : c.items) {
      const auto item = std::find_if(r.at("items").begin(), r.at("items").end(),
                                     [&](const Json& i) { return i.at("name") == name; });
      ASSERT_NE(item, r.at("items").end()) << name;
      EXPECT_EQ(judged(*item), expected) << name;
    }
    records.push_back(r);
    files.push_back(com_dir_ + "/record-" + n + ".json");
    files.push_back(junit);
    std::ofstream(files[files.size() - 2]) << r.dump();
  }
  const Json read_all = read_as_the_line_does(files);
  ASSERT_EQ(read_all.size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const Json& r = records[i];
    const Json& read = read_all[i];
    EXPECT_EQ(read.at("schema"), "ok");
    // The JUnit file carries the run's ids and every item with its measurement.
    const Json& summary = r.at("summary");
    EXPECT_EQ(read.at("suite"), (Json{{"tests", summary.at("items")},
                                      {"failures", summary.at("failed")},
                                      {"errors", summary.at("errors")},
                                      {"skipped", summary.at("skipped")}}));
    EXPECT_EQ(read.at("properties").at("outcome"), c.outcome);
    EXPECT_EQ(read.at("properties").at("tool_version"), r.at("tool_version"));
    ASSERT_EQ(read.at("cases").size(), r.at("items").size());
    for (const Json& item : r.at("items")) {
      const std::string name = item.at("name");
      const Json& junit_case = read.at("cases").at(name);
      EXPECT_EQ(junit_case.at("result"), junit_result(item.at("outcome"))) << name;
      const Json& p = junit_case.at("properties");
      EXPECT_EQ(p.at("outcome"), item.at("outcome")) << name;
      EXPECT_EQ(p.at("attempts"), std::to_string(item.at("attempts").get<int>())) << name;
      EXPECT_EQ(p.at("unit"), item.at("unit")) << name;
      EXPECT_NEAR(std::stod(junit_case.at("time").get<std::string>()), item.at("seconds").get<double>(),
                  0.0011)
          << name;
      EXPECT_EQ(p.at("value"), item.at("value").is_null()     ? ""
                               : item.at("value").is_string() ? item.at("value").get<std::string>()
                                                              : item.at("value").dump())
          << name;
    }
    if (c.more) c.more(r, read, sent[i]);
  }
}

// --dut -: what the operator (or the scanner) gives, and how the check takes it.
TEST_F(TavikTool, CheckAsksForTheDeviceIdAFewTimesAtMost) {
  const struct {
    const char* typed;  // then standard input ends
    int exit_code;
    const char* said;  // on standard error
  } cases[] = {
      {"\n\n\n", 2, "no device id in 3 answers (the last: the device id was empty)"},
      {"\n", 2, "no device id given (standard input ended)"},
      {"R\x01\nR-0045\n", 0, "must be 1 to 100 printable characters"},
  };
  for (const auto& c : cases) {
    TavikProcess tool({"check", "--dut", "-"}, nullptr, {}, true);
    tool.type(c.typed);
    tool.close_input();
    const Finished f = tool.finish();
    EXPECT_EQ(f.exit_code, c.exit_code) << c.typed << f.err;
    EXPECT_NE(f.err.find(c.said), std::string::npos) << f.err;
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
