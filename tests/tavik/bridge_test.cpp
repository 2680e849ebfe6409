// tavik bridge against a real mosquitto and the simulated boards: what it
// publishes, the odometry of a drive, the drive's dead-man and its stop when the broker goes, the
// last will, two robots on one broker, a broker with passwords, the
// commands it refuses without sending anything, the names it refuses and a
// listener that is no broker.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "bridge_fixture.h"
#include "sim/models/world.h"
#include "tests/support/records/sim_travel.h"

namespace tavik::test {
namespace {

// The topics of `payloads` whose payload is not as the bridge's table says
// (payload_schema_check.py, with jsonschema), each with why.
Json schema_violations(const Json& payloads) {
  const std::string file = testing::TempDir() + "bridge_payloads.json";
  std::ofstream(file) << payloads.dump();
  const std::string command =
      std::string("python3 ") + TAVIK_PAYLOAD_CHECK + " " + TAVIK_TOPICS_JSON + " " + file + " 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "cannot run " + command;
  std::string out;
  char buf[4096];
  while (std::fgets(buf, sizeof buf, pipe) != nullptr) out += buf;
  ::pclose(pipe);
  const Json read = Json::parse(out, nullptr, false);
  return read.is_discarded() ? Json(out) : read;
}

TEST_F(Bridge, PublishesEveryTopicAndGoesOfflineAtTheEnd) {
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  TavikProcess bridge(bridge_args(broker, "r1", {"--wheel-separation-mm", "340"}));
  const auto online = [](const std::string& p) { return has(p, "\"online\""); };
  ASSERT_NE(client.wait_for("tavik/r1/state", 5s, online), "");
  // Every topic the bridge's table says it publishes comes at its QoS,
  // retained where the table says, and as its schema says (a stop brings
  // a cmd/result).
  client.publish("tavik/r1/cmd/stop", "{}");
  Json payloads = Json::object();
  std::ifstream topics_file(TAVIK_TOPICS_JSON);
  for (const Json& row : Json::parse(topics_file)) {
    if (row["direction"] != "published") continue;
    const std::string topic = "tavik/r1/" + row["topic"].get<std::string>();
    // The wheels' speed comes from the second reading on.
    const auto message = client.wait_message(
        topic, 3s, [](const std::string& p) { return !has(p, "\"encoders\"") || has(p, "speed_mm_s"); });
    ASSERT_TRUE(message) << topic;
    EXPECT_EQ(message->qos, row["qos"]) << topic;
    payloads[row["topic"].get<std::string>()] = Json::parse(message->payload);
    if (row["retained"]) {
      MqttClient later(broker.port(), topic);
      const auto kept = later.wait_message(topic, 2s);
      EXPECT_TRUE(kept && kept->retained) << topic << " not retained";
    }
  }
  EXPECT_EQ(schema_violations(payloads), Json::object());
  const Json battery = Json::parse(client.wait_for("tavik/r1/battery", 1s));
  EXPECT_NEAR(battery["voltage"].get<double>(), 12.6, 0.5);
  EXPECT_EQ(Json::parse(client.wait_for("tavik/r1/ranges", 1s))["ranges_m"].size(), 7u);
  // The drive parameters as the board has them.
  const std::string status = sim_.execute("status");
  const std::string max_velocity = status.substr(status.find("max velocity ") + 13);
  EXPECT_EQ(Json::parse(client.wait_for("tavik/r1/parameters", 1s))["max_velocity_mm_s"].get<int>(),
            std::stoi(max_velocity));
  const Json diagnostics = Json::parse(client.wait_for("tavik/r1/diagnostics", 1s));
  for (const Json& board : diagnostics["boards"]) {
    EXPECT_EQ(board["level"], "OK") << board.dump();
    EXPECT_GT(board["values"]["exchanges"].get<int>(), 0) << board.dump();
  }
  const std::string last_battery = client.wait_for("tavik/r1/battery", 1s);
  bridge.signal(SIGTERM);
  const std::string offline =
      client.wait_for("tavik/r1/state", 3s, [](const std::string& p) { return has(p, "SIGTERM"); });
  ASSERT_NE(offline, "");
  // Stamped when the bridge went away, after every reading it published.
  EXPECT_GE(Json::parse(offline)["stamp"].get<std::string>(),
            Json::parse(last_battery)["stamp"].get<std::string>());
  EXPECT_EQ(bridge.finish(3s).exit_code, 143);
}

TEST_F(Bridge, TheOdometryOfADriveEndsWhereTheRobotDid) {
  ASSERT_EQ(run_tavik({"drvb", "servo", "on"}).exit_code, 0);
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  TavikProcess bridge(bridge_args(
      broker, "r1", {"--allow-drive", "--wheel-separation-mm", std::to_string(sim::kWheelBaseMm)}));
  // The odometry starts at the bridge's first poll, where the robot stands.
  ASSERT_NE(client.wait_for("tavik/r1/odom", 5s), "");
  const sim::SimStatus start = sim_.status();
  {
    Joystick joystick(client, "tavik/r1/cmd/drive", R"({"left_mm_s": 250, "right_mm_s": 120})");
    std::this_thread::sleep_for(1500ms);
  }
  std::this_thread::sleep_for(1000ms);  // the dead-man's stop, and polls of the robot at rest
  const sim::SimStatus end = sim_.status();
  const Json odom = Json::parse(client.wait_for("tavik/r1/odom", 2s, nullptr, client.count()));
  const odometry::Pose travel = sim_travel(start, end);
  ASSERT_GT(std::hypot(travel.x_m, travel.y_m), 0.2) << "the robot did not drive";
  EXPECT_NEAR(odom["x_m"].get<double>(), travel.x_m, 0.002) << odom;
  EXPECT_NEAR(odom["y_m"].get<double>(), travel.y_m, 0.002) << odom;
  EXPECT_NEAR(std::remainder(odom["heading_rad"].get<double>() - travel.heading_rad, 2 * M_PI), 0, 0.002);
  EXPECT_EQ(odom["v_m_s"], 0.0);
  EXPECT_EQ(odom["omega_rad_s"], 0.0);
  EXPECT_EQ(odom["dropped_jumps"], 0);
}

TEST_F(Bridge, DriveHoldsForTheDeadManOnlyAndStopsAtOnceWhenTheBrokerGoes) {
  const struct {
    const char* name;
    bool allow;
    const char* dead_man;
    bool kill_broker;
  } cases[] = {
      {"dead-man", true, "0.3", false},
      {"not allowed", false, "0.3", false},
      {"broker killed", true, "5", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MqttBroker broker(broker_dir_);
    std::vector<std::string> more{"--dead-man", c.dead_man};
    if (c.allow) more.push_back("--allow-drive");
    TavikProcess bridge(bridge_args(broker, "r1", more));
    std::optional<MqttClient> client(std::in_place, broker.port());
    ASSERT_NE(client->wait_for("tavik/r1/state", 5s, [](const std::string& p) { return has(p, "online"); }),
              "");
    VelocityRecord wire(sim_);
    const auto sent = Clock::now();
    client->publish("tavik/r1/cmd/drive", R"({"left_mm_s": 200, "right_mm_s": 200})");
    const std::string result = client->wait_for("tavik/r1/cmd/result", 2s);
    if (!c.allow) {
      EXPECT_TRUE(has(result, "drive-not-allowed")) << result;
      std::this_thread::sleep_for(500ms);
      EXPECT_TRUE(wire.velocities().empty());
      continue;
    }
    EXPECT_TRUE(has(result, "\"ok\":true")) << result;
    ASSERT_TRUE(wire.first("BE200;200", sent, 1000ms));
    if (c.kill_broker) {
      const auto killed = Clock::now();
      broker.kill();
      const auto stop = wire.first("BE;", killed, 1000ms);
      ASSERT_TRUE(stop);
      EXPECT_LT(*stop - killed, 500ms);  // at once, long before the 5 s dead-man
      client.reset();
      broker.start();
      client.emplace(broker.port());
      EXPECT_NE(client->wait_for("tavik/r1/state", 8s, [](const std::string& p) { return has(p, "online"); }),
                "");
      const auto back = Clock::now();
      std::this_thread::sleep_for(300ms);
      EXPECT_FALSE(wire.first("BE200;200", back, 0ms)) << "the drive resumed by itself";
    } else {
      const auto stop = wire.first("BE;", sent, 2000ms);
      ASSERT_TRUE(stop);
      // The dead-man time plus one 100 ms step, with room for a busy machine.
      EXPECT_GT(*stop - sent, 250ms);
      EXPECT_LT(*stop - sent, 700ms);
    }
    EXPECT_EQ(wire.velocities().back().command, "BE;");
    bridge.signal(SIGTERM);
    EXPECT_EQ(bridge.finish(3s).exit_code, 143);
    EXPECT_EQ(wire.velocities().back().command, "BE;");
  }
}

TEST_F(Bridge, AKilledBridgeIsShownOfflineByItsLastWill) {
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  TavikProcess bridge(bridge_args(broker, "r1"));
  ASSERT_NE(client.wait_for("tavik/r1/state", 5s, [](const std::string& p) { return has(p, "online"); }), "");
  bridge.signal(SIGKILL);
  EXPECT_NE(client.wait_for("tavik/r1/state", 3s, [](const std::string& p) { return has(p, "offline"); }),
            "");
}

TEST_F(Bridge, TwoRobotsOnOneBroker) {
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port(), "tavik/+/battery");
  TavikProcess first(bridge_args(broker, "r1"));
  auto second_args = bridge_args(broker, "r2");
  second_args.insert(second_args.begin(), "--simulate");
  TavikProcess second(second_args);
  EXPECT_NE(client.wait_for("tavik/r1/battery", 5s), "");
  EXPECT_NE(client.wait_for("tavik/r2/battery", 5s), "");
}

TEST_F(Bridge, ABrokerWithPasswordsTakesTheCredentialsAndRefusesAnonymous) {
  // The bridge's user is its robot's name unless told otherwise.
  MqttBroker broker(broker_dir_, "r1", "s3cret");
  const std::string password_file = broker_dir_ + "/bridge-password";
  std::ofstream(password_file) << "s3cret\n";
  const std::string fifo = broker_dir_ + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A password file that group or others may read, or one that is not a regular file, is refused at once.
  const struct {
    const char* file;
    mode_t mode;
    const char* err;
  } refused[] = {
      {password_file.c_str(), 0644, "chmod 600"},
      {password_file.c_str(), 0620, "chmod 600"},
      {fifo.c_str(), 0600, "not a regular file but a FIFO"},
  };
  for (const auto& r : refused) {
    ::chmod(r.file, r.mode);
    const Finished f = TavikProcess(bridge_args(broker, "r1", {"--password-file", r.file})).finish(5s);
    EXPECT_EQ(f.exit_code, 2) << r.file << ": " << f.err;
    EXPECT_TRUE(has(f.err, r.err)) << f.err;
  }
  ::chmod(password_file.c_str(), 0600);
  {
    TavikProcess bridge(bridge_args(broker, "r1", {"--password-file", password_file}));
    // The test's anonymous client would be refused: the bridge's own line says it connected.
    std::this_thread::sleep_for(1500ms);
    bridge.signal(SIGTERM);
    const Finished f = bridge.finish(3s);
    EXPECT_TRUE(has(f.out, "connected to")) << f.out << f.err;
    EXPECT_EQ(f.exit_code, 143);
  }
  auto no_password = bridge_args(broker, "r1");
  no_password.insert(no_password.begin(), "--json");
  const Finished f = TavikProcess(no_password).finish(5s);
  EXPECT_EQ(f.exit_code, 1);
  // One line, the broker's refusal, and nothing before it.
  EXPECT_TRUE(has(f.err, "broker-refused")) << f.err;
  EXPECT_TRUE(has(f.err, "refused the connection: Not authorized (0x87)")) << f.err;
  EXPECT_EQ(std::count(f.err.begin(), f.err.end(), '\n'), 1) << f.err;
  EXPECT_EQ(f.out, "");
}

TEST_F(Bridge, BadCommandsAreAnsweredWithTheReasonAndSendNothing) {
  const std::string too_large =
      R"({"left_mm_s": 200, "right_mm_s": 200, "pad": ")" + std::string(70000, 'x') + "\"}";
  const struct {
    const char* command;
    std::string payload;
    const char* reason;
    const char* message = nullptr;  // part of the result's message
  } cases[] = {
      {"drive", "not json", "usage"},
      {"drive", R"({"left_mm_s": 1e400, "right_mm_s": 0})", "usage",
       "'left_mm_s': the number 1e400 is out of range"},
      {"drive", R"({"left_mm_s": 300, "left_mm_s": 0, "right_mm_s": 0})", "usage",
       "'left_mm_s' is given twice"},
      {"drive", std::string(R"({"left_mm_s": 0, "right_mm_s": 0})") + std::string("\0junk", 5), "usage",
       "a NUL byte at offset 33"},
      {"max_distance", R"({"code": 18446744073709551616})", "usage", "is not a whole number"},
      {"drive", "[200, 200]", "usage"},
      {"drive", R"({"left_mm_s": 200})", "usage"},
      {"drive", R"({"left_mm_s": 200, "right_mm_s": 200, "speed": 1})", "usage"},
      {"drive", R"({"left_mm_s": 200.5, "right_mm_s": 200})", "usage"},
      {"drive", R"({"left_mm_s": "200", "right_mm_s": 200})", "usage"},
      {"drive", R"({"left_mm_s": 5000, "right_mm_s": 0})", "bad-argument"},
      {"drive", R"({"left_mm_s": 1500, "right_mm_s": 0})", "above-max-velocity"},
      {"power", R"({"device": "laser", "on": true})", "bad-argument"},
      {"power", R"({"device": "lrf", "on": 1})", "usage"},
      {"servo", R"({"on": "yes"})", "usage"},
      {"max_distance", R"({"code": 9})", "bad-argument"},
      {"max_distance", R"({"code": -1, "unit": "m"})", "usage"},
      // Too large to be read, whatever it holds.
      {"drive", too_large, "usage", "more than 65536"},
      // Topics under cmd/ that name no command.
      {"jump", R"({"height": 1})", "usage"},
      {"drive/now", R"({"left_mm_s": 200, "right_mm_s": 200})", "usage"},
  };
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  VelocityRecord wire(sim_);
  // A drive the broker kept from before the bridge subscribed is never carried out.
  client.publish("tavik/r1/cmd/drive", R"({"left_mm_s": 200, "right_mm_s": 200})", true);
  TavikProcess bridge(bridge_args(broker, "r1", {"--allow-drive"}));
  EXPECT_TRUE(has(client.wait_for("tavik/r1/cmd/result", 5s), "retained-command"));
  for (const auto& c : cases) {
    const std::size_t before = client.count();
    client.publish(std::string("tavik/r1/cmd/") + c.command, c.payload);
    const std::string result = client.wait_for("tavik/r1/cmd/result", 2s, nullptr, before);
    ASSERT_NE(result, "") << c.command << " " << c.payload.substr(0, 80);
    const Json json = Json::parse(result);
    EXPECT_EQ(json["command"], c.command) << result;
    EXPECT_EQ(json["ok"], false) << result;
    EXPECT_EQ(json["reason"], c.reason) << c.payload.substr(0, 80) << " -> " << result;
    if (c.message != nullptr) {
      EXPECT_TRUE(has(json.value("message", ""), c.message)) << result;
    }
  }
  // An unknown field's name is cut in the answer (at a character's start).
  const std::size_t before_long = client.count();
  std::string long_name;
  for (int i = 0; i < 500; ++i) long_name += "\u00e9";
  client.publish("tavik/r1/cmd/servo", R"({"on": true, ")" + long_name + R"(": 1})");
  const std::string cut = client.wait_for("tavik/r1/cmd/result", 2s, nullptr, before_long);
  ASSERT_NE(cut, "");
  EXPECT_TRUE(has(cut, "unknown field")) << cut;
  EXPECT_LT(cut.size(), 300u) << cut;
  EXPECT_NO_THROW(Json::parse(cut));

  // A retained drive published while the bridge listens is the broker's copy
  // for later subscribers: refused as one from before. Its clearing (an
  // empty retained payload) is not answered: the next answer is the servo's.
  const std::size_t before_retained = client.count();
  client.publish("tavik/r1/cmd/drive", R"({"left_mm_s": 200, "right_mm_s": 200})", true);
  EXPECT_TRUE(has(client.wait_for("tavik/r1/cmd/result", 2s, nullptr, before_retained), "retained-command"));
  const std::size_t before_clear = client.count();
  client.publish("tavik/r1/cmd/drive", "", true);
  client.publish("tavik/r1/cmd/servo", R"({"on": "yes"})");
  const std::string next = client.wait_for("tavik/r1/cmd/result", 2s, nullptr, before_clear);
  EXPECT_TRUE(has(next, R"("command":"servo")")) << next;
  std::this_thread::sleep_for(200ms);
  EXPECT_TRUE(wire.velocities().empty());
}

// A UTC stamp as a command gives it, `offset` from now.
std::string utc_stamp(std::chrono::milliseconds offset) {
  const auto at = std::chrono::system_clock::now() + offset;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
  std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms));
  return text;
}

TEST_F(Bridge, EachCommandsIdComesBackAndAStaleDriveMovesNothing) {
  const std::string drive = R"("left_mm_s": 200, "right_mm_s": 200)";
  const struct {
    const char* command;
    std::string payload;
    const char* id;  // as the result gives it; null: none
    const char* reason;
  } cases[] = {
      {"power", R"({"device": "lrf", "on": true, "id": "p-1"})", R"("p-1")", "ok"},
      {"servo", R"({"on": "yes", "id": 7})", "7", "usage"},
      {"drive", "{" + drive + R"(, "id": "d-1", "stamp": ")" + utc_stamp(0ms) + R"("})", R"("d-1")", "ok"},
      {"drive", "{" + drive + R"(, "id": "d-2", "stamp": ")" + utc_stamp(-3000ms) + R"("})", R"("d-2")",
       "stale-command"},
      {"drive", "{" + drive + R"(, "id": "d-3", "stamp": ")" + utc_stamp(3000ms) + R"("})", R"("d-3")",
       "stale-command"},
      {"drive", "{" + drive + R"(, "id": "d-4", "stamp": "2026-12-08 12:00"})", R"("d-4")", "usage"},
      {"drive", "{" + drive + R"(, "id": [1]})", nullptr, "usage"},
  };
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  TavikProcess bridge(bridge_args(broker, "r1", {"--allow-drive", "--dead-man", "0.2"}));
  ASSERT_NE(client.wait_for("tavik/r1/state", 5s, [](const std::string& p) { return has(p, "online"); }), "");
  VelocityRecord wire(sim_);
  std::optional<Clock::time_point> after_first_drive;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.payload);
    if (after_first_drive) {
      std::this_thread::sleep_for(500ms);  // the first drive's dead-man is over
      after_first_drive = Clock::now();
    }
    const std::size_t before = client.count();
    client.publish(std::string("tavik/r1/cmd/") + c.command, c.payload);
    const std::string result = client.wait_for("tavik/r1/cmd/result", 2s, nullptr, before);
    ASSERT_NE(result, "");
    const Json json = Json::parse(result);
    EXPECT_EQ(json["reason"], c.reason) << result;
    EXPECT_EQ(json.contains("id") ? json["id"].dump() : "none", c.id ? c.id : "none") << result;
    if (json.value("id", Json()) == "d-1") after_first_drive = Clock::now();
  }
  ASSERT_TRUE(after_first_drive);
  EXPECT_FALSE(wire.first("BE200;200", *after_first_drive, 300ms)) << "a refused drive moved";
}

TEST_F(Bridge, ADriveOvertakenBeforeItWasSentIsAnsweredSuperseded) {
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  TavikProcess bridge(bridge_args(broker, "r1", {"--allow-drive"}));
  ASSERT_NE(client.wait_for("tavik/r1/state", 5s, [](const std::string& p) { return has(p, "online"); }), "");
  const auto drive = [&](const char* id) {
    client.publish("tavik/r1/cmd/drive",
                   std::string(R"({"left_mm_s": 100, "right_mm_s": 100, "id": ")") + id + "\"}");
  };
  // The board's Max Velocity is read once, before the first drive.
  drive("first");
  ASSERT_NE(client.wait_for("tavik/r1/cmd/result", 2s, [](const std::string& p) { return has(p, "first"); }),
            "");
  std::this_thread::sleep_for(700ms);  // its dead-man is over
  // Each velocity request now takes 120 ms: while the first is on the line,
  // the second waits, and the third overtakes it.
  sim_.execute("fault drvb BE delay 120");
  VelocityRecord wire(sim_);
  const std::size_t before = client.count();
  const auto sent = Clock::now();
  drive("a");
  ASSERT_TRUE(wire.first("BE100;100", sent, 1000ms));
  drive("b");
  drive("c");
  for (const auto& [id, reason] : {std::pair{"a", "ok"}, {"b", "superseded"}, {"c", "ok"}}) {
    const std::string id_field = std::string(R"("id":")") + id + "\"";
    const std::string result = client.wait_for(
        "tavik/r1/cmd/result", 3s, [&](const std::string& p) { return has(p, id_field.c_str()); }, before);
    EXPECT_TRUE(has(result, (std::string(R"("reason":")") + reason + "\"").c_str())) << id << ": " << result;
  }
}

TEST_F(Bridge, StopIsAlwaysTakenAndStopsAtOnce) {
  const struct {
    const char* name;
    bool allow;
  } cases[] = {{"driving bridge", true}, {"without --allow-drive", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MqttBroker broker(broker_dir_);
    MqttClient client(broker.port());
    std::vector<std::string> more{"--dead-man", "5"};
    if (c.allow) more.push_back("--allow-drive");
    TavikProcess bridge(bridge_args(broker, "r1", more));
    ASSERT_NE(client.wait_for("tavik/r1/state", 5s, [](const std::string& p) { return has(p, "online"); }),
              "");
    VelocityRecord wire(sim_);
    if (c.allow) {
      const auto sent = Clock::now();
      client.publish("tavik/r1/cmd/drive", R"({"left_mm_s": 200, "right_mm_s": 200})");
      ASSERT_TRUE(wire.first("BE200;200", sent, 1000ms));
    }
    const std::size_t before = client.count();
    const auto asked = Clock::now();
    client.publish("tavik/r1/cmd/stop", R"({"id": "s"})");
    const auto stop = wire.first("BE;", asked, 1000ms);
    ASSERT_TRUE(stop);
    EXPECT_LT(*stop - asked, 300ms);  // long before the 5 s dead-man
    const std::string result = client.wait_for(
        "tavik/r1/cmd/result", 2s, [](const std::string& p) { return has(p, R"("command":"stop")"); },
        before);
    EXPECT_TRUE(has(result, R"("command":"stop","ok":true)")) << result;
    EXPECT_TRUE(has(result, R"("id":"s")")) << result;
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(wire.velocities().back().command, "BE;");
  }
}

TEST_F(Bridge, ANameThatCannotBeATopicIsAUsageError) {
  MqttBroker broker(broker_dir_);
  const std::string names[] = {"r+1",
                               "r#",
                               "r/1",
                               "r\xff"
                               "1",
                               "r\x01",
                               std::string(70000, 'r'),
                               ""};
  for (const std::string& name : names) {
    SCOPED_TRACE(name.substr(0, 20));
    const Finished f = TavikProcess(bridge_args(broker, name)).finish(5s);
    EXPECT_EQ(f.exit_code, 2) << f.err.substr(0, 300);
    EXPECT_TRUE(has(f.err, "1 to 64 bytes of UTF-8 without '/', '+', '#' or control characters"))
        << f.err.substr(0, 300);
    EXPECT_LT(f.err.size(), 400u);
  }
}

// With --json the bridge's own log lines are JSON records too.
TEST_F(Bridge, ItsLogLinesAreJsonWithJson) {
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  std::vector<std::string> args = {"--json"};
  const std::vector<std::string> bridge = bridge_args(broker, "r1");
  args.insert(args.end(), bridge.begin(), bridge.end());
  TavikProcess process(args);
  ASSERT_NE(client.wait_for("tavik/r1/state", 5s, [](const std::string& p) { return has(p, "online"); }), "");
  process.signal(SIGTERM);
  const Finished f = process.finish(5s);
  EXPECT_EQ(f.exit_code, 143) << f.err;
  std::istringstream lines(f.out);
  int logged = 0;
  for (std::string line; std::getline(lines, line);) {
    const Json record = Json::parse(line, nullptr, false);
    ASSERT_FALSE(record.is_discarded()) << line;
    if (record.contains("log")) ++logged;
  }
  EXPECT_GE(logged, 2) << f.out;  // connected, ending
}

TEST_F(Bridge, AListenerThatIsNoBrokerIsNamedSo) {
  // A port that takes connections (the kernel's backlog) and never answers.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 8), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  TavikProcess bridge(
      {"bridge", "--broker", "mqtt://127.0.0.1:" + std::to_string(ntohs(address.sin_port)), "--name", "r1"});
  std::this_thread::sleep_for(8s);  // the keep-alive, after the one second the name's question waits
  bridge.signal(SIGTERM);
  const Finished f = bridge.finish(3s);
  ::close(listener);
  EXPECT_TRUE(has(f.out, "no CONNACK: is this a broker?")) << f.out << f.err;
  EXPECT_FALSE(has(f.out, "Unknown error")) << f.out;
}

}  // namespace
}  // namespace tavik::test
