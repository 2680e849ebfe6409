// The tavik program against the simulated boards: each command's output in
// both formats, the failure reasons and exit codes the boards' faults
// produce, watch's figures and recording, and ports.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "facts/drvb_facts.h"
#include "serial/failures/command_result.h"
#include "tavik/zarn_rs232.h"
#include "tavik_fixture.h"
#include "tests/support/records/csv_reader.h"

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

TEST_F(TavikTool, NumbersAreDecimal) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* field;  // for a success: a JSON pointer into the record
    Json value;         // its value, or part of the usage error's message
  };
  const Case cases[] = {
      {{"drvb", "param", "set", "comm-timeout", "0500"}, 0, "/value", 500},
      {{"drvb", "param", "get", "comm-timeout"}, 0, "/value", 500},
      {{"drvb", "param", "set", "comm-timeout", "0x1F4"}, 2, nullptr, "VALUE: '0x1F4' is not a whole number"},
      {{"drvb", "param", "set", "comm-timeout", "1e3"}, 2, nullptr, "VALUE: '1e3'"},
      {{"drvb", "param", "set", "comm-timeout", "+500"}, 2, nullptr, "VALUE: '+500'"},
      {{"drvb", "param", "set", "comm-timeout", "500ms"}, 2, nullptr, "VALUE: '500ms'"},
      {{"drvb", "servo", "on"}, 0, "/servo", "on"},  // for the drive to turn the wheels
      {{"drvb", "drive", "0100", "-0100", "--for", "0.3"}, 0, "/right", -100},
      {{"drvb", "drive", "100", "100", "--for", "1e0"}, 2, nullptr, "--for: '1e0'"},
      {{"psb", "max-dist", "0300"}, 0, "/max_distance_cm", 300},
      {{"psb", "max-dist", "0x12C"}, 2, nullptr, "CM: '0x12C'"},
      {{"--timeout", "0200", "psb", "status"}, 0, "/port", "COM7"},
      {{"--timeout", "200.5", "psb", "status"}, 2, nullptr, "--timeout: '200.5' is not a whole number"},
      {{"watch", "--rate", "+5"}, 2, nullptr, "--rate: '+5'"},
  };
  for (const Case& c : cases) {
    const Finished f = run_tavik(with(c.args, "--json"));
    ASSERT_EQ(f.exit_code, c.exit_code) << c.args.back() << f.err;
    if (c.field != nullptr) {
      EXPECT_EQ(last_json(f.out).at(Json::json_pointer(c.field)), c.value) << f.out;
    } else {
      const std::string message = last_json(f.err).at("error").at("message");
      EXPECT_NE(message.find(c.value.get<std::string>()), std::string::npos) << message;
    }
  }
}

TEST_F(TavikTool, FailureReasonsAndExitCodes) {
  struct Case {
    const char* fault;  // a simulator command, or ""
    std::vector<std::string> args;
    int exit_code;
    const char* reason;   // the error's reason code
    const char* message;  // part of the message, in both formats
    int code;             // the libraries' code of the failure, -1 for the tool's own
  };
  const Case cases[] = {
      {"fault psb PDR silence",
       {"psb", "status"},
       1,
       "no-reply",
       "read power data on the PSB at COM7 failed: ",
       TAVIK_RS232_NO_REPLY},
      {"fault psb Sar bcc",
       {"psb", "status"},
       1,
       "bad-check-byte",
       "read ranges on the PSB at COM7",
       TAVIK_RS232_BAD_CHECK},
      {"fault drvb CG status 5", {"drvb", "reset-errors"}, 1, "refused", "(status '5')", TAVIK_RS232_REFUSED},
      {"fault drvb AC truncate",
       {"drvb", "status"},
       1,
       "malformed-reply",
       "read encoders",
       TAVIK_RS232_MALFORMED},
      {"fault drvb AC status 0",
       {"drvb", "status"},
       1,
       "unexpected-reply",
       "read encoders",
       TAVIK_RS232_UNEXPECTED_REPLY},
      {"",
       {"--psb", "/dev/null", "psb", "status"},
       3,
       "not-a-serial-device",
       "open on the PSB at /dev/null",
       TAVIK_RS232_NOT_SERIAL},
      {"", {"--drvb", "COM5", "drvb", "status"}, 3, "port-missing", " (", TAVIK_RS232_MISSING},
      {"unplug psb", {"psb", "max-dist", "200"}, 3, "port-missing", "open on the PSB", TAVIK_RS232_MISSING},
      {"",
       {"drvb", "drive", "1001", "0", "--for", "1"},
       2,
       "above-max-velocity",
       "maximum velocity of 1000 mm/s",
       -1},
  };
  // Every reason a script may see is listed in the manual page.
  std::ifstream man_file(TAVIK_MAN_PAGE);
  const std::string man((std::istreambuf_iterator<char>(man_file)), std::istreambuf_iterator<char>());
  for (const Case& c : cases) {
    std::string listed = c.reason;
    for (std::size_t dash = 0; (dash = listed.find('-', dash)) != std::string::npos; dash += 2)
      listed.replace(dash, 1, "\\-");
    EXPECT_NE(man.find(".B " + listed), std::string::npos) << c.reason;
    sim_.execute("fault clear");
    if (*c.fault) {
      ASSERT_EQ(sim_.execute(c.fault).rfind("error", 0), std::string::npos) << c.fault;
    }
    const Finished json = run_tavik(with(c.args, "--json"));
    EXPECT_EQ(json.exit_code, c.exit_code) << c.fault << json.err;
    EXPECT_TRUE(json.out.empty()) << json.out;
    const Json error = last_json(json.err).at("error");
    EXPECT_EQ(error.at("exit_code"), c.exit_code);
    EXPECT_EQ(error.at("reason"), c.reason) << json.err;
    EXPECT_FALSE(error.contains("failure")) << json.err;
    for (const char* field : {"command", "board", "port"}) EXPECT_TRUE(error.contains(field)) << json.err;
    const std::string message = error.at("message");
    EXPECT_NE(message.find(c.message), std::string::npos) << json.err;
    // The tool words a failure as the libraries do.
    if (c.code >= 0) {
      EXPECT_NE(message.find(std::string(" failed: ") + zarn_rs232_error_text(c.code)), std::string::npos)
          << message;
    }
    const Finished text = run_tavik(c.args);
    EXPECT_EQ(text.exit_code, c.exit_code) << c.fault << c.args.back();
    EXPECT_NE(text.err.find(c.message), std::string::npos) << text.err;
  }
}

// The manual gives each drive parameter's unit and range as the board's table has them.
TEST(TavikManual, GivesEachDriveParametersUnitAndRange) {
  std::ifstream man_file(TAVIK_MAN_PAGE);
  std::string man((std::istreambuf_iterator<char>(man_file)), std::istreambuf_iterator<char>());
  std::replace(man.begin(), man.end(), '\n', ' ');
  for (const drvb::ParameterInfo& p : drvb::kParameters) {
    const std::string listed = std::string(p.name) + " (" + p.unit + ", " + std::to_string(p.min) + ".." +
                               std::to_string(p.max) + ")";
    EXPECT_NE(man.find(listed), std::string::npos) << listed;
  }
}

// The manual lists each failure's reason under the exit status it has.
TEST(TavikManual, ListsEveryFailureUnderItsExitStatus) {
  std::ifstream man_file(TAVIK_MAN_PAGE);
  const std::string man((std::istreambuf_iterator<char>(man_file)), std::istreambuf_iterator<char>());
  for (const FailureRow& row : kFailureRows) {
    if (row.failure == Failure::kNone) continue;
    SCOPED_TRACE(row.reason);
    const std::size_t section = man.find(".TP\n" + std::to_string(row.exit_status) + "\n");
    ASSERT_NE(section, std::string::npos);
    std::string listed = std::string(".B ") + row.reason + "\n";
    for (std::size_t dash = 0; (dash = listed.find('-', dash)) != std::string::npos; dash += 2)
      listed.replace(dash, 1, "\\-");
    const std::size_t at = man.find(listed, section);
    EXPECT_LT(at, std::min(man.find(".TP", section + 1), man.find(".SH", section))) << listed;
  }
}

TEST_F(TavikTool, AFailedOpenGivesTheSystemsError) {
  // A user who may not open the simulator's line: nobody, for root (who may
  // open anything); the owner, without the owner's rights, for anyone else.
  const bool root = ::geteuid() == 0;
  const std::vector<std::string> as_nobody = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup",
                                              "--clear-groups"};
  struct Case {
    std::string port;
    bool held;       // the test holds COM7 with the libraries' lock
    bool no_access;  // the port's device may not be opened by the tool's user
    const char* reason;
    std::set<int> os_errors;
    std::string message;  // part of the message
  };
  const std::string self = "held by process " + std::to_string(::getpid());
  const Case cases[] = {
      {"/nonexistent/ttyUSB9", false, false, "port-missing", {ENOENT}, "missing (/nonexistent/ttyUSB9)"},
      {"/dev/null", false, false, "not-a-serial-device", {ENOTTY}, "not a serial device (/dev/null)"},
      // The lock, or for a user other than root already the exclusive open.
      {"COM7", true, false, "port-busy", {EWOULDBLOCK, EBUSY}, "busy: " + self},
      {sim_.psb_path(), false, true, "permission-denied", {EACCES}, "permission denied (" + sim_.psb_path()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.port);
    if (c.held) {
      ASSERT_EQ(zarn_rs232_psb_create("COM7", 200), 0);
    }
    // Only the simulator's own device has its mode taken away, and given
    // back as it was: never a shared device such as /dev/null.
    struct stat before {};
    if (c.no_access) {
      ASSERT_EQ(::stat(c.port.c_str(), &before), 0);
      ASSERT_EQ(::chmod(c.port.c_str(), root ? 0600 : 0), 0);
    }
    const Finished f = run_tavik({"--json", "--psb", c.port, "psb", "status"}, nullptr,
                                 c.no_access && root ? as_nobody : std::vector<std::string>{});
    zarn_rs232_psb_destroy();
    if (c.no_access) ::chmod(c.port.c_str(), before.st_mode & 07777);
    EXPECT_EQ(f.exit_code, 3) << f.err;
    const Json error = last_json(f.err).at("error");
    EXPECT_EQ(error.at("reason"), c.reason);
    EXPECT_EQ(c.os_errors.count(error.value("os_error", 0)), 1u) << f.err;
    EXPECT_NE(error.at("message").get<std::string>().find(c.message), std::string::npos) << f.err;
  }
}

TEST_F(TavikTool, UsageErrorsNameTheProblem) {
  struct Case {
    std::vector<std::string> args;
    const char* message;  // part of the message
  };
  const Case cases[] = {
      {{"bogus"}, "unknown command 'bogus'"},
      {{"psb", "bogus"}, "unknown command 'bogus' for 'tavik psb'"},
      {{"drvb"}, "'tavik drvb' needs a command"},
      {{"watch", "--duration", "0"}, "--duration: '0' is not in the range above 0"},
      {{"watch", "--duration", "nan"}, "'nan' is not a number in the range above 0"},
      {{"watch", "--duration", "-1"}, "'-1' is not in the range above 0"},
      {{"watch", "--duration", "inf"}, "'inf' is not a number"},
      {{"watch", "--rate", "0"}, "'0' is not in the range 0.1 to 50 polls per second"},
      {{"drvb", "param", "set", "max-velocity", "2001"}, "2001 is not in the range 0 to 2000 mm/s"},
      {{"drvb", "param", "set", "comm-timeout", "34"}, "34 is not in the range 35 to 20000 ms"},
      {{"--psb", "", "psb", "status"}, "--psb: a port name cannot be empty"},
      {{"drvb", "drive", "100", "100", "--for", "0"}, "above 0 and up to 10 seconds"},
      {{"psb", "power", "lamp", "on"}, "lamp"},
      {{"--bogus", "psb", "status"}, "unknown option '--bogus'"},
  };
  for (const Case& c : cases) {
    const Finished json = run_tavik(with(c.args, "--json"));
    EXPECT_EQ(json.exit_code, 2) << c.message << json.err;
    const Json error = last_json(json.err).at("error");
    EXPECT_EQ(error.at("reason"), "usage") << json.err;
    EXPECT_NE(error.at("message").get<std::string>().find(c.message), std::string::npos) << json.err;
    const Finished text = run_tavik(c.args);
    EXPECT_EQ(text.exit_code, 2) << c.message;
    EXPECT_EQ(text.err.rfind("tavik: ", 0), 0u) << text.err;
    EXPECT_NE(text.err.find(c.message), std::string::npos) << text.err;
  }
  // Nothing was sent for any of them.
  EXPECT_TRUE(sim_.take_received(sim::Board::kPsb).empty());
  EXPECT_TRUE(sim_.take_received(sim::Board::kDrvb).empty());
}

TEST_F(TavikTool, HelpVersionLastOptionAndPortNames) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    const char* out;  // part of the standard output, or of the error
  };
  const Case cases[] = {
      {{"help"}, 0, "Usage: tavik [OPTIONS]"},
      {{"--help"}, 0, "tcp://HOST:PORT or rfc2217://HOST:PORT"},
      {{"--help"}, 0, "~/.config/tavik/ports"},
      {{"help", "drvb", "param"}, 0, "Usage: tavik drvb param"},
      {{"--version"}, 0, "tavik 1."},
      {{"-V"}, 0, "tavik 1."},
      {{"--drvb", "COM5", "--drvb", "COM8", "--json", "drvb", "status"}, 0, "\"port\":\"COM8\""},
  };
  for (const Case& c : cases) {
    const Finished f = run_tavik(c.args);
    EXPECT_EQ(f.exit_code, c.exit_code) << c.args[0] << f.err;
    EXPECT_NE(f.out.find(c.out), std::string::npos) << f.out;
  }
  // A COM name that falls back to an on-board port says how names are found.
  ::unsetenv("TAVIK_COM_DIR");
  const Finished fallback = run_tavik({"--drvb", "COM97", "drvb", "status"});
  ::setenv("TAVIK_COM_DIR", com_dir_.c_str(), 1);
  EXPECT_EQ(fallback.exit_code, 3);
  for (const char* hint : {"/dev/tavik/COM97", "99-tavik-com.rules", "TAVIK_COM_DIR", "tavik ports"})
    EXPECT_NE(fallback.err.find(hint), std::string::npos) << hint << ": " << fallback.err;
}

// The bumpers and the wheel errors come from one AA: the same request twice
// in a row gets byte-identical answers, which the exchange has to tell from a
// copy of the first by waiting and sending it again.
TEST_F(TavikTool, WatchReadsTheDriveBoardWithoutRepeatingARequest) {
  sim_.take_received(sim::Board::kDrvb);
  const Finished f = run_tavik({"watch", "--json", "--rate", "10", "--duration", "1"});
  ASSERT_EQ(f.exit_code, 0) << f.err;
  const sim::Bytes received = sim_.take_received(sim::Board::kDrvb);
  const std::string wire(received.begin(), received.end());
  const std::string aa =
      "\x02"
      "AA\x03\x03";
  EXPECT_EQ(wire.find(aa + aa), std::string::npos) << wire;
  const Json summary = last_json(f.out).at("summary");
  const int polls = summary.at("polls");
  EXPECT_GE(polls, 5);
  EXPECT_EQ(summary.at("drvb").at("exchanges"), 2 * polls) << summary;
  EXPECT_TRUE(summary.at("drvb").at("failures").empty()) << summary;
  std::istringstream lines(f.out);
  std::string line;
  while (std::getline(lines, line)) {
    const Json record = Json::parse(line);
    if (record.value("board", "") != "drvb") continue;
    EXPECT_TRUE(record.contains("bumpers") && record.contains("wheel_errors")) << record;
  }
}

TEST_F(TavikTool, WatchRecordsAnOutageAndRecovers) {
  const std::string csv = com_dir_ + "/watch.csv";
  TavikProcess watch({"watch", "--json", "--rate", "10", "--csv", csv});
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  sim_.unplug(sim::Board::kDrvb);
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  sim_.replug(sim::Board::kDrvb);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the port is reopened within 0.5 s
  watch.signal(SIGINT);
  const Finished f = watch.finish();
  ASSERT_EQ(f.exit_code, 130) << f.err;

  std::istringstream lines(f.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  const std::string started = Json::parse(line).at("started");
  EXPECT_TRUE(std::regex_match(started, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)"))) << started;
  int lost_lines = 0;
  Json last_drvb;
  while (std::getline(lines, line)) {
    const Json record = Json::parse(line);
    if (record.value("board", "") != "drvb") continue;
    lost_lines += record.value("reason", "") == "device lost";
    last_drvb = record;
  }
  EXPECT_GT(lost_lines, 0);
  EXPECT_TRUE(last_drvb.contains("encoders")) << last_drvb;  // back after the replug

  const Json summary = last_json(f.out).at("summary");
  EXPECT_EQ(summary.at("ended"), "SIGINT");
  const int polls = summary.at("polls");
  EXPECT_GE(polls, 20);
  EXPECT_EQ(summary.at("psb").at("exchanges"), 2 * polls);
  EXPECT_TRUE(summary.at("psb").at("failures").empty());
  EXPECT_EQ(summary.at("psb").at("lost").at("outages"), 0);
  EXPECT_EQ(summary.at("psb").at("late_replies"), 0);
  const Json drvb_lost = summary.at("drvb").at("lost");
  EXPECT_EQ(drvb_lost.at("outages"), 1) << summary;
  EXPECT_EQ(drvb_lost.at("returns"), 1) << summary;
  EXPECT_GT(drvb_lost.at("seconds").get<double>(), 0.5) << summary;
  EXPECT_LT(drvb_lost.at("seconds").get<double>(), 2.5) << summary;

  std::ifstream file(csv);
  const CsvRecording rec = read_csv(file);
  EXPECT_EQ(rec.started, started);
  for (const char* name : {"power_drive", "power_servo", "range_front_mm", "range_left_40_mm",
                           "range_right_150_mm", "psb_reason", "drvb_reason", "encoder_left"})
    ASSERT_TRUE(rec.column.count(name)) << name;
  double last_t = -1;
  int lost_rows = 0;
  for (std::size_t i = 0; i < rec.rows.size(); ++i) {
    ASSERT_EQ(rec.rows[i].size(), rec.names.size()) << "row " << i;
    const double t = std::stod(rec.rows[i][0]);
    EXPECT_GT(t, last_t) << "row " << i;
    EXPECT_GT(std::stoi(rec.cell(i, "battery_mv")), 0) << "row " << i;
    EXPECT_EQ(rec.cell(i, "power_drive"), "1") << "row " << i;
    EXPECT_EQ(rec.cell(i, "psb_reason"), "") << "row " << i;
    if (rec.cell(i, "drvb_reason") == "device lost") {
      ++lost_rows;
      EXPECT_EQ(rec.cell(i, "encoder_left"), "") << "row " << i;
    }
    last_t = t;
  }
  EXPECT_EQ(static_cast<int>(rec.rows.size()), polls);
  EXPECT_EQ(lost_rows, lost_lines);
  ASSERT_FALSE(rec.rows.empty());
  EXPECT_EQ(rec.cell(rec.rows.size() - 1, "drvb_reason"), "");
}

TEST_F(TavikTool, DriveEndsOnALostDeviceAndStopsItWhenItReturns) {
  TavikProcess drive({"--json", "drvb", "drive", "200", "200", "--for", "5"});
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  sim_.unplug(sim::Board::kDrvb);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  sim_.take_received(sim::Board::kDrvb);
  sim_.replug(sim::Board::kDrvb);
  const Finished f = drive.finish();
  EXPECT_EQ(f.exit_code, 1) << f.err;
  EXPECT_LT(f.seconds, 4.0);
  const Json error = last_json(f.err).at("error");
  EXPECT_EQ(error.at("reason"), "device-lost") << f.err;
  EXPECT_NE(error.at("message").get<std::string>().find("device lost during drive"), std::string::npos);
  EXPECT_EQ(last_json(f.out).at("stop_sent"), true) << f.out;

  // On the returned device: the stop, and never a velocity again.
  const sim::Bytes received = sim_.take_received(sim::Board::kDrvb);
  const std::string wire(received.begin(), received.end());
  EXPECT_NE(wire.find("BE;"), std::string::npos) << wire;
  EXPECT_EQ(wire.find("BE2"), std::string::npos) << wire;
}

TEST_F(TavikTool, OutputThatCannotBeWrittenFails) {
  const std::string existing = com_dir_ + "/existing.csv";
  std::ofstream(existing) << "kept\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* out_file;  // standard output, when not a pipe
    int exit_code;
    const char* err;  // part of the one line on standard error
  };
  const Case cases[] = {
      {"CSV on a full disk",
       {"watch", "--duration", "1", "--csv", "/dev/full"},
       nullptr,
       1,
       "cannot write /dev/full: No space left on device"},
      {"output on a full disk",
       {"watch", "--duration", "1"},
       "/dev/full",
       1,
       "cannot write to standard output: No space left on device"},
      {"JSON result on a full disk",
       {"--json", "psb", "status"},
       "/dev/full",
       1,
       "\"reason\":\"write-failed\""},
      {"CSV in a missing folder",
       {"watch", "--duration", "1", "--csv", com_dir_ + "/none/x.csv"},
       nullptr,
       2,
       "none/x.csv: No such file or directory"},
      {"CSV that exists",
       {"watch", "--duration", "1", "--csv", existing},
       nullptr,
       2,
       "exists; give --force"},
  };
  for (const Case& c : cases) {
    const Finished f = run_tavik(c.args, c.out_file);
    EXPECT_EQ(f.exit_code, c.exit_code) << c.name << ": " << f.err;
    EXPECT_LT(f.seconds, 3.0) << c.name;
    EXPECT_NE(f.err.find(c.err), std::string::npos) << c.name << ": " << f.err;
    EXPECT_EQ(std::count(f.err.begin(), f.err.end(), '\n'), 1) << c.name << ": " << f.err;
  }
  std::ifstream kept(existing);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), std::istreambuf_iterator<char>()), "kept\n");
}

TEST_F(TavikTool, WatchWritesTheCsvToStandardOutputWithTheBoardThatIsThere) {
  const Finished f = run_tavik({"--drvb", "COM5", "watch", "--duration", "0.5", "--csv", "-"});
  ASSERT_EQ(f.exit_code, 0) << f.err;
  EXPECT_NE(f.err.find("watch: drvb at COM5 not watched: missing"), std::string::npos) << f.err;
  EXPECT_NE(f.err.find("; drvb: not watched"), std::string::npos) << f.err;  // the summary
  const CsvRecording rec = read_csv(f.out);
  EXPECT_TRUE(std::regex_match(rec.started, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
      << f.out;
  ASSERT_GE(rec.rows.size(), 2u) << f.out;
  for (std::size_t i = 0; i < rec.rows.size(); ++i) {
    ASSERT_EQ(rec.rows[i].size(), rec.names.size()) << "row " << i;
    EXPECT_EQ(rec.cell(i, "started_utc").empty(), i > 0) << "row " << i;
    EXPECT_EQ(rec.cell(i, "drvb_reason"), "not watched") << "row " << i;
    EXPECT_GT(std::stoi(rec.cell(i, "battery_mv")), 0) << "row " << i;
  }
}

TEST_F(TavikTool, EndsWhenItsOutputGoesAway) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--json", "watch", "--rate", "20"}, {"watch", "--rate", "20"}}) {
    TavikProcess watch(args);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    watch.close_output();
    const Finished f = watch.finish(std::chrono::seconds(3));
    EXPECT_EQ(f.exit_code, 0) << args[0] << f.err;
  }
}

TEST_F(TavikTool, PortsFindsBothBoardsAndLeavesAHeldPortAlone) {
  auto answers = [] {
    const Finished f = run_tavik({"ports", "--json"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    std::map<std::string, std::string> by_name;
    const Json listed = Json::parse(f.out);
    for (const Json& port : listed.at("ports")) {
      by_name[port.at("name").get<std::string>()] =
          port.at("answer").get<std::string>() + " " + port.value("held_by", "");
    }
    return by_name;
  };
  auto found = answers();
  EXPECT_EQ(found["COM7"], "psb ");
  EXPECT_EQ(found["COM8"], "drvb ");

  ASSERT_EQ(zarn_rs232_psb_create("COM7", 100), 0);
  sim_.take_received(sim::Board::kPsb);
  found = answers();
  EXPECT_EQ(found["COM7"].rfind("busy process " + std::to_string(::getpid()), 0), 0u) << found["COM7"];
  EXPECT_EQ(found["COM8"], "drvb ");
  EXPECT_TRUE(sim_.take_received(sim::Board::kPsb).empty());
  const Finished held = run_tavik({"psb", "status"});
  EXPECT_EQ(held.exit_code, 3);
  EXPECT_NE(held.err.find("busy: held by process " + std::to_string(::getpid())), std::string::npos)
      << held.err;
  psb_power_data power{};
  EXPECT_EQ(zarn_rs232_psb_read_power(&power), 0);
  zarn_rs232_psb_destroy();

  // Held by another program: that one is named, not the simulator (this
  // process) that keeps its own side of the line open.
  TavikProcess holder({"watch", "--duration", "3"});
  for (int i = 0; i < 100 && !sim_.client_attached(sim::Board::kPsb); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(sim_.client_attached(sim::Board::kPsb));
  found = answers();
  EXPECT_EQ(found["COM7"], "busy process " + std::to_string(holder.pid()) + " (tavik)");
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

TEST(TavikSimulate, TraceShowsTheFramesOnStandardError) {
  const Finished f = run_tavik({"--simulate", "--trace", "drvb", "param", "get", "max-velocity"});
  ASSERT_EQ(f.exit_code, 0) << f.err;
  EXPECT_NE(f.err.find(" drvb tx 02 58 4c "), std::string::npos) << f.err;  // XL: read a parameter
  EXPECT_NE(f.err.find("| ok\n"), std::string::npos) << f.err;
  EXPECT_EQ(f.out.find(" tx "), std::string::npos) << f.out;
}

}  // namespace
}  // namespace tavik::test
