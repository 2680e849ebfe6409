// The bridge's messages without a broker: the commands it reads from a
// payload (what each carries, and the refusals at the edges of its ranges),
// the names a result shows, what a drive board reading says against
// driving, the wheel speeds from encoder counts, and the broker addresses
// --broker takes.
#include <gtest/gtest.h>

#include <optional>

#include "broker_address.h"
#include "messages.h"

namespace tavik::cli {
namespace {

using Kind = BridgeCommand::Kind;

TEST(BridgeMessages, ReadsEachCommandAndRefusesAtTheEdges) {
  struct Case {
    const char* name;
    const char* payload;
    const char* reason;  // "ok" for a command read
    const char* message = "";
    BridgeCommand expected = {Kind::kResetErrors};
  };
  const Case cases[] = {
      {"drive", R"({"left_mm_s": -2000, "right_mm_s": 2000})", "ok", "", {Kind::kDrive, -2000, 2000}},
      {"drive", R"({"right_mm_s": 0, "left_mm_s": 7})", "ok", "", {Kind::kDrive, 7, 0}},
      {"drive", R"({"left_mm_s": 2001, "right_mm_s": 0})", "bad-argument",
       "'left_mm_s' 2001 is not in the range"},
      {"drive", R"({"left_mm_s": 0, "right_mm_s": -2001})", "bad-argument", "-2000 to 2000"},
      {"power", R"({"device": "drive", "on": false})", "ok", "", {Kind::kPower, 0, 0, 0, false}},
      {"power", R"({"device": "lrf", "on": true})", "ok", "", {Kind::kPower, 0, 0, 2, true}},
      {"power", R"({"device": "LRF", "on": true})", "bad-argument", "is none of drive, sensors, lrf"},
      {"servo", R"({"on": true})", "ok", "", {Kind::kServo, 0, 0, 0, true}},
      {"max_distance", R"({"code": -1})", "ok", "", {Kind::kMaxDistance, 0, 0, 0, false, -1}},
      {"max_distance", R"({"code": 8})", "ok", "", {Kind::kMaxDistance, 0, 0, 0, false, 8}},
      {"max_distance", R"({"code": -2})", "bad-argument", "-1 to 8"},
      {"max_distance", R"({"code": 8.0})", "usage", "'code' is not a whole number"},
      {"reset_errors", "{}", "ok"},
      {"reset_errors", R"({"now": true})", "usage", "unknown field 'now'"},
      {"servo", "{}", "usage", "missing field 'on'"},
      {"servo", "null", "usage", "not a JSON object"},
      {"servo", "", "usage", "the payload: "},
      {"result", "{}", "usage", "no such command"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.payload);
    const ParsedCommand parsed = parse_command(c.name, c.payload);
    if (std::string(c.reason) == "ok") {
      ASSERT_TRUE(parsed.command.has_value()) << parsed.refusal.message;
      const BridgeCommand& command = *parsed.command;
      EXPECT_EQ(command.kind, c.expected.kind);
      EXPECT_EQ(command.left_mm_s, c.expected.left_mm_s);
      EXPECT_EQ(command.right_mm_s, c.expected.right_mm_s);
      EXPECT_EQ(command.device, c.expected.device);
      EXPECT_EQ(command.on, c.expected.on);
      EXPECT_EQ(command.code, c.expected.code);
      EXPECT_EQ(kCommandNames[static_cast<int>(command.kind)], std::string(c.name));
    } else {
      EXPECT_FALSE(parsed.command.has_value());
      EXPECT_EQ(parsed.refusal.command, c.name);
      EXPECT_EQ(parsed.refusal.reason, c.reason);
      EXPECT_NE(parsed.refusal.message.find(c.message), std::string::npos) << parsed.refusal.message;
    }
  }
}

TEST(BridgeMessages, AStampIsTheSameInstantWhateverItsOffset) {
  using std::chrono::sys_days;
  using namespace std::chrono;
  const auto noon = sys_days(year(2026) / 12 / 8) + hours(12) + minutes(27) + seconds(39);
  const struct {
    const char* text;
    std::optional<system_clock::time_point> at;
  } cases[] = {
      {"2026-12-08T12:27:39Z", noon},
      {"2026-12-08t12:27:39.5z", noon + milliseconds(500)},
      {"2026-12-08T12:27:39,25Z", noon + milliseconds(250)},
      {"2026-12-08T12:27:39+00:00", noon},
      {"2026-12-08T12:27:39-00:00", noon},
      {"2026-12-08T14:27:39.829+02:00", noon + milliseconds(829)},
      {"2026-12-08T06:57:39-05:30", noon},
      {"2026-12-09T01:27:39+1300", noon},
      {"2026-12-08T13:27:39+01", noon},
      {"2026-12-08T00:27:39-12:00", noon},
      {"2026-12-08T12:27:39", std::nullopt},  // a local time, no instant
      {"2026-12-08T12:27:39+2:00", std::nullopt},
      {"2026-12-08T12:27:39+02:0", std::nullopt},
      {"2026-12-08T12:27:39+24:00", std::nullopt},
      {"2026-12-08T12:27:39+02:60", std::nullopt},
      {"2026-12-08T12:27:39+02:00Z", std::nullopt},
      {"2026-12-08T12:27:39.Z", std::nullopt},
      {"2026-12-08 12:27:39Z", std::nullopt},
      {"2026-12-08T+1:27:39Z", std::nullopt},
      {"2026-02-30T12:27:39Z", std::nullopt},
      {"2026-12-08T12:27", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto at = parse_utc(c.text);
    ASSERT_EQ(at.has_value(), c.at.has_value());
    if (at) {
      EXPECT_EQ(duration_cast<milliseconds>(*at - *c.at).count(), 0);
    }
  }
}

TEST(BridgeMessages, AResultShowsALongNameCutAtACharactersStart) {
  const std::string ascii(100, 'a');
  EXPECT_EQ(cut_name(ascii), std::string(kLongestShownName, 'a') + "...");
  // Two-byte characters from the second byte on: byte 64 is the middle of one.
  std::string wide = "x";
  for (int i = 0; i < 40; ++i) wide += "\xc3\xa9";  // é
  const std::string cut = cut_name(wide);
  EXPECT_EQ(cut.substr(cut.size() - 3), "...");
  EXPECT_EQ(cut.size() - 3, kLongestShownName - 1);  // back to the start of the cut character
  const Json result = Json::parse(result_payload({ascii, "usage", "no such command"}));
  EXPECT_EQ(result.at("command"), cut_name(ascii));
  EXPECT_EQ(result.at("ok"), false);
  EXPECT_EQ(result.at("reason"), "usage");
  EXPECT_TRUE(result.contains("stamp"));
  EXPECT_FALSE(Json::parse(result_payload({"servo", "ok", ""})).contains("message"));
}

TEST(BridgeMessages, ADriveBoardReadingSaysWhatStandsAgainstDriving) {
  struct Case {
    const char* reading;
    const char* reason;  // nullptr: nothing
    const char* message;
  };
  const Case cases[] = {
      {R"({"bumpers": {"left": false, "right": false}, "emergency_stop": false,
           "wheel_errors": {"left": 0, "right": 0}})",
       nullptr, ""},
      {R"({"reason": "read bumpers: no reply"})", nullptr, ""},  // unread: nothing known against it
      {R"({"bumpers": {"left": false, "right": true}, "emergency_stop": true})", "emergency-stop",
       "emergency stop closed"},
      {R"({"bumpers": {"left": true, "right": false}})", "bumper-closed", "a bumper is closed"},
      {R"({"bumpers": {"left": true, "right": true}, "wheel_errors": {"left": 1, "right": 0}})",
       "bumper-closed", "a bumper is closed"},
      {R"({"wheel_errors": {"left": 0, "right": 255}})", "wheel-error",
       "wheel error left 0x00, right 0xff (cmd/reset_errors clears it)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reading);
    const std::optional<CommandOutcome> blocked = drive_blocked(Json::parse(c.reading));
    if (c.reason == nullptr) {
      EXPECT_FALSE(blocked.has_value()) << blocked->message;
    } else {
      ASSERT_TRUE(blocked.has_value());
      EXPECT_EQ(blocked->command, "drive");
      EXPECT_EQ(blocked->reason, c.reason);
      EXPECT_EQ(blocked->message, c.message);
    }
  }
}

TEST(BridgeMessages, WheelSpeedsComeFromTheCountsSinceTheLastGoodRead) {
  const auto encoders = [](std::int64_t left, std::int64_t right) {
    return Json{{"encoders", {{"left", left}, {"right", right}}}};
  };
  WheelSpeed speed;
  EXPECT_TRUE(speed.update(encoders(0, 0), 0.0).is_null());  // the first read
  const Json moved = speed.update(encoders(500, -500), 1.0);
  EXPECT_DOUBLE_EQ(moved.at("left").get<double>(), 100.0);  // 5 counts per mm
  EXPECT_DOUBLE_EQ(moved.at("right").get<double>(), -100.0);
  EXPECT_TRUE(speed.update(Json::object(), 1.5).is_null());  // a gap
  EXPECT_TRUE(speed.update(encoders(2147483647, 0), 2.0).is_null());
  // The counters wrap at 32 bits: a small step forward, not a leap back.
  const Json wrapped = speed.update(encoders(-2147483647 - 1 + 49, 0), 2.5);
  EXPECT_DOUBLE_EQ(wrapped.at("left").get<double>(), 20.0);
}

TEST(BridgeMessages, TakesTheBrokerAddressesOfMqttAndMqtts) {
  struct Case {
    const char* url;
    const char* host;  // nullptr: refused
    int port;
    bool tls;
    const char* why = "";
  };
  const Case cases[] = {
      {"mqtt://broker.local", "broker.local", 1883, false},
      {"mqtt://127.0.0.1:1884", "127.0.0.1", 1884, false},
      {"mqtts://broker", "broker", 8883, true},
      {"mqtts://broker:443", "broker", 443, true},
      {"mqtt://[::1]", "::1", 1883, false},
      {"mqtt://[fe80::1%eth0]:2000", "fe80::1%eth0", 2000, false},
      {"tcp://broker:1883", nullptr, 0, false, "is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"},
      {"mqtt://", nullptr, 0, false, "no host"},
      {"mqtt://:1883", nullptr, 0, false, "no host"},
      {"mqtt://broker:0", nullptr, 0, false, "1 to 65535"},
      {"mqtt://broker:65536", nullptr, 0, false, "1 to 65535"},
      {"mqtt://broker:", nullptr, 0, false, "1 to 65535"},
      {"mqtt://[::1", nullptr, 0, false, "no ]"},
      {"mqtt://[::1]x", nullptr, 0, false, "no :PORT"},
      {"mqtt://broker:1883/x", nullptr, 0, false, "nothing may follow"},
      {"mqtt://bro ker", nullptr, 0, false, "bad character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    if (c.host == nullptr) {
      try {
        broker_address(c.url);
        ADD_FAILURE() << "taken";
      } catch (const CommandError& e) {
        EXPECT_EQ(e.exit_code, kExitUsage);
        EXPECT_EQ(e.detail.rfind("--broker: '" + std::string(c.url) + "'", 0), 0u) << e.detail;
        EXPECT_NE(e.detail.find(c.why), std::string::npos) << e.detail;
      }
      continue;
    }
    const BrokerAddress address = broker_address(c.url);
    EXPECT_EQ(address.host, c.host);
    EXPECT_EQ(address.port, c.port);
    EXPECT_EQ(address.tls, c.tls);
  }
}

}  // namespace
}  // namespace tavik::cli
