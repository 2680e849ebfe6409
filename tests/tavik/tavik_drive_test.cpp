// tavik drvb drive against a scripted drive board: whatever ends the drive,
// the last request on the wire is the stop, 0,0; a drive above the board's
// maximum velocity never starts, and a wheel error fails the drive. Against
// the simulator's faults: one failed reply is ridden through, two in a row
// or a refusal end the drive.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <vector>

#include "tavik_fixture.h"
#include "tests/support/peers/scripted_peer.h"
#include "tests/support/records/velocity_record.h"

namespace tavik::test {
namespace {

using sim::Bytes;

// The drive board's 12-byte AA reply; byte 7 holds the bumpers, byte 8 the
// emergency stop, bytes 3 and 5 the wheel errors.
Bytes aa_reply(std::uint8_t bumpers, std::uint8_t emergency, std::uint8_t wheel_error = 0) {
  return sim::frame(Bytes{'0', '0', wheel_error, '0', 0x00, '0', bumpers, emergency, '0'});
}

std::string command_of(const Bytes& request) {
  std::string text;
  for (std::uint8_t b : request) {
    if (b == 0x03) break;
    if (b >= 0x20) text += static_cast<char>(b);
  }
  return text;
}

TEST(TavikDrive, AlwaysEndsWithTheStopOnTheWire) {
  struct Case {
    const char* name;
    const char* seconds;
    int signal;          // sent after the third velocity request; 0: none
    int bumper_from_aa;  // the AA reply from which on a bumper is closed; -1: never
    bool emergency;      // the emergency stop is closed from the start
    int exit_code;
    const char* ended;  // null: refused before driving, with this in the error
    const char* refusal;
    int max_velocity = 1000;
    int error_from_aa = -1;         // the AA reply from which on a wheel error is set; -1: never
    bool error_after_stop = false;  // a wheel error is set once the stop came
    bool close_output = false;      // standard output is closed after the third velocity
  };
  const Case cases[] = {
      {"time", "0.6", 0, -1, false, 0, "time", nullptr},
      {"SIGINT", "10", SIGINT, -1, false, 130, "SIGINT", nullptr},
      {"SIGTERM", "10", SIGTERM, -1, false, 143, "SIGTERM", nullptr},
      {"SIGHUP", "10", SIGHUP, -1, false, 129, "SIGHUP", nullptr},
      {"output closed", "10", 0, -1, false, 0, nullptr, nullptr, 1000, -1, false, true},
      {"bumper", "10", 0, 4, false, 1, "left bumper closed", nullptr},
      {"emergency", "10", 0, -1, true, 1, nullptr, "refused: emergency stop closed"},
      {"above max", "10", 0, -1, false, 2, nullptr, "maximum velocity of 100 mm/s", 100},
      {"wheel error", "10", 0, -1, false, 1, "wheel error left 0x01, right 0x00", nullptr, 1000, 6},
      {"error at stop", "0.4", 0, -1, false, 1, "wheel error left 0x01, right 0x00 after the stop", nullptr,
       1000, -1, true},
  };
  for (const Case& c : cases) {
    test::ScriptedPeer peer;
    std::atomic<int> aa_count{0};
    std::atomic<bool> stopped{false};
    peer.respond([&](const Bytes& request) -> test::ScriptedReply {
      const std::string command = command_of(request);
      if (command == "AA") {
        const int n = aa_count++;
        const bool bumper = c.bumper_from_aa >= 0 && n >= c.bumper_from_aa;
        const bool error = (c.error_from_aa >= 0 && n >= c.error_from_aa) || (c.error_after_stop && stopped);
        return {aa_reply(bumper ? '1' : '0', c.emergency ? '1' : '0', error ? 0x01 : 0x00)};
      }
      if (command.rfind("XL", 0) == 0) return {sim::frame("0" + std::to_string(c.max_velocity))};
      if (command == "BE;") stopped = true;
      return {sim::status_frame('0')};
    });
    TavikProcess drive({"--json", "--timeout", "1000", "--drvb", peer.path(), "drvb", "drive", "120", "-80",
                        "--for", c.seconds});
    if (c.signal != 0 || c.close_output) {
      ASSERT_TRUE(peer.wait_for_requests(9, std::chrono::seconds(3))) << c.name;
      if (c.close_output) drive.close_output();
      if (c.signal != 0) drive.signal(c.signal);
    }
    const Finished f = drive.finish();
    EXPECT_EQ(f.exit_code, c.exit_code) << c.name << f.err;
    EXPECT_LT(f.seconds, 3.0) << c.name;

    std::vector<std::string> velocities;
    for (const Bytes& request : peer.requests()) {
      if (command_of(request).rfind("BE", 0) == 0) velocities.push_back(command_of(request));
    }
    if (c.refusal != nullptr) {
      EXPECT_TRUE(velocities.empty()) << c.name;  // refused before driving
      EXPECT_NE(f.err.find(c.refusal), std::string::npos) << f.err;
      continue;
    }
    ASSERT_GE(velocities.size(), 2u) << c.name;
    EXPECT_EQ(velocities.back(), "BE;") << c.name;  // 0,0: zeros go out as empty fields
    for (std::size_t i = 0; i + 1 < velocities.size(); ++i) EXPECT_EQ(velocities[i], "BE120;-80") << c.name;
    if (c.close_output) continue;  // the record had nowhere to go
    const auto record = nlohmann::json::parse(f.out.substr(0, f.out.find('\n')));
    EXPECT_EQ(record.at("ended"), c.ended) << c.name;
    EXPECT_EQ(record.at("stop_sent"), true) << c.name;
  }
}

TEST_F(TavikTool, DriveRidesThroughOneFailedReplyAndEndsOnTwoInARowOrARefusal) {
  using namespace std::chrono_literals;
  const struct {
    const char* name;
    const char* fault;  // set once the drive runs; n= ends it after that many velocity requests
    const char* seconds;
    int exit_code;
    const char* ended;  // the record's "ended" begins so
    bool stop_sent;
    int failed_replies;  // -1: any
  } cases[] = {
      {"2 % of the replies lost", "fault drvb * drop 0.02", "5", 0, "time", true, -1},
      {"one velocity unanswered", "fault drvb BE silence n=1", "1.5", 0, "time", true, 1},
      {"two velocities unanswered", "fault drvb BE silence n=2", "5", 1, "send velocity: no reply", true, 1},
      {"velocity refused", "fault drvb BE status", "5", 1, "send velocity: refused", false, 0},
  };
  ASSERT_EQ(run_tavik({"drvb", "servo", "on"}).exit_code, 0);  // the wheels turn
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // In the middle of the room, without the error a drive left behind (no velocity in time).
    for (const char* reset : {"fault clear", "pose 2000 1500"}) sim_.execute(reset);
    ASSERT_EQ(run_tavik({"drvb", "reset-errors"}).exit_code, 0);
    VelocityRecord wire(sim_);
    const auto start = VelocityRecord::Clock::now();
    TavikProcess drive({"--json", "drvb", "drive", "100", "100", "--for", c.seconds});
    ASSERT_TRUE(wire.first("BE100;100", start, 3000ms));
    const auto failing = VelocityRecord::Clock::now();
    ASSERT_EQ(sim_.execute(c.fault).rfind("error", 0), std::string::npos);
    const Finished f = drive.finish();
    EXPECT_EQ(f.exit_code, c.exit_code) << f.err;
    const Json record = Json::parse(f.out.substr(0, f.out.find('\n')));
    EXPECT_EQ(record.at("ended").get<std::string>().rfind(c.ended, 0), 0u) << record.dump();
    EXPECT_EQ(record.at("stop_sent"), c.stop_sent) << record.dump();
    if (c.failed_replies >= 0) {
      EXPECT_EQ(record.at("failed_replies"), c.failed_replies) << record.dump();
    }
    ASSERT_TRUE(wire.first("BE;", failing, 1000ms));  // the record has caught up
    EXPECT_EQ(wire.velocities().back().command, "BE;");
  }
}

// A drive the board took whose wheels did not turn fails and says why, in
// drvb drive and in a watch that carries one; a watch stops its drive
// before it ends, however it ends, and refuses one as drvb drive does.
TEST_F(TavikTool, DrivesSayWhenTheWheelsDidNotTurnAndAWatchStopsItsDriveFirst) {
  using namespace std::chrono_literals;
  const struct {
    const char* name;
    const char* setup;  // a simulator command, or null
    bool servo;
    std::vector<std::string> args;  // after --json
    int exit_code;
    const char* ended;  // the drive's record's "ended" begins so; null: refused, nothing sent
    const char* reason = nullptr;
    bool interrupt = false;  // Ctrl-C once the drive runs
  } cases[] = {
      {"servo off", nullptr, false, {"drvb", "drive", "200", "200", "--for", "0.5"}, 1, "time", "not-moving"},
      {"servo on", nullptr, true, {"drvb", "drive", "200", "200", "--for", "0.5"}, 0, "time"},
      {"watch drives",
       nullptr,
       true,
       {"watch", "--duration", "1", "--drive", "200", "200", "--for", "0.5"},
       0,
       "time"},
      {"watch with the servo off",
       nullptr,
       false,
       {"watch", "--duration", "1", "--drive", "200", "200", "--for", "0.5"},
       1,
       "time",
       "not-moving"},
      {"watch ends first",
       nullptr,
       true,
       {"watch", "--duration", "0.5", "--drive", "200", "200", "--for", "5"},
       0,
       "called off: the watch ended (duration)"},
      {"Ctrl-C",
       nullptr,
       true,
       {"watch", "--drive", "200", "200", "--for", "5"},
       130,
       "SIGINT",
       nullptr,
       true},
      {"watch refuses",
       "emg on",
       true,
       {"watch", "--drive", "200", "200", "--for", "1"},
       1,
       nullptr,
       "emergency-stop"},
      {"--drive needs --for", nullptr, true, {"watch", "--drive", "200", "200"}, 2, nullptr, "usage"},
      {"--drive needs two velocities",
       nullptr,
       true,
       {"watch", "--drive", "200", "--for", "1"},
       2,
       nullptr,
       "usage"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* reset : {"fault clear", "emg off"}) sim_.execute(reset);
    if (c.setup != nullptr) sim_.execute(c.setup);
    ASSERT_EQ(run_tavik({"drvb", "servo", c.servo ? "on" : "off"}).exit_code, 0);
    VelocityRecord wire(sim_);
    const auto start = VelocityRecord::Clock::now();
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "--json");
    TavikProcess tool(args);
    if (c.interrupt) {
      ASSERT_TRUE(wire.first("BE200;200", start, 3000ms));
      tool.signal(SIGINT);
    }
    const Finished f = tool.finish();
    EXPECT_EQ(f.exit_code, c.exit_code) << f.out << f.err;
    if (c.reason != nullptr) {
      EXPECT_EQ(last_json(f.err).at("error").at("reason"), c.reason) << f.err;
    }
    if (c.ended == nullptr) {
      EXPECT_TRUE(wire.velocities().empty());
      continue;
    }
    const Json record = last_json(f.out);
    const Json& drive = record.contains("summary") ? record.at("summary").at("drive") : record;
    EXPECT_EQ(drive.at("ended").get<std::string>().rfind(c.ended, 0), 0u) << drive;
    if (!c.interrupt) {  // Ctrl-C may come before the wheels turned
      EXPECT_EQ(drive.at("counts").at("left").get<int>() > 0, c.servo) << drive;
    }
    ASSERT_TRUE(wire.first("BE;", start, 1000ms));
    const auto sent = wire.velocities();
    EXPECT_EQ(sent.front().command, "BE200;200");
    EXPECT_EQ(sent.back().command, "BE;");  // the stop, last
  }
}

// drvb stop and the bridge's service after the bridge: the stop and nothing
// else goes out, and a board that does not take it fails the command.
TEST_F(TavikTool, TheStopAloneForAProgramThatEndedWithoutIt) {
  using namespace std::chrono_literals;
  const std::vector<std::string> commands[] = {
      {"drvb", "stop"},
      {"bridge", "--broker", "mqtt://127.0.0.1:1", "--name", "r1", "--allow-drive", "--send-stop"},
  };
  for (const auto& command : commands) {
    for (const bool silent : {false, true}) {
      SCOPED_TRACE(command.front() + (silent ? " to a silent board" : ""));
      sim_.execute(silent ? "fault drvb * silence" : "fault clear");
      VelocityRecord wire(sim_);
      const auto start = VelocityRecord::Clock::now();
      std::vector<std::string> args = {"--json"};
      args.insert(args.end(), command.begin(), command.end());
      const Finished f = run_tavik(args);
      EXPECT_EQ(f.exit_code, silent ? 1 : 0) << f.err;
      if (silent) {
        EXPECT_NE(f.err.find("no-reply"), std::string::npos) << f.err;
      }
      ASSERT_TRUE(wire.first("BE;", start, 1000ms));
      for (const auto& v : wire.velocities()) {
        EXPECT_EQ(v.command, "BE;");
      }
      EXPECT_EQ(sim_.status().drvb.served.count("AA"), 0u);
    }
  }
  sim_.execute("fault clear");
}

}  // namespace
}  // namespace tavik::test
