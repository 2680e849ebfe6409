// tavik drvb drive against a scripted drive board: whatever ends the drive,
// the last request on the wire is the stop, 0,0.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <nlohmann/json.hpp>

#include "sim/scripted_peer.h"
#include "tavik_process.h"

namespace tavik::test {
namespace {

using sim::Bytes;

// The drive board's 12-byte AA reply; byte 7 holds the bumpers, byte 8 the emergency stop.
Bytes aa_reply(std::uint8_t bumpers, std::uint8_t emergency) {
  return sim::frame(Bytes{'0', '0', 0x00, '0', 0x00, '0', bumpers, emergency, '0'});
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
    const char* ended;
    double at_most_s;
  };
  const Case cases[] = {
      {"time", "0.6", 0, -1, false, 0, "time", 3.0},
      {"SIGINT", "10", SIGINT, -1, false, 0, "SIGINT", 3.0},
      {"SIGTERM", "10", SIGTERM, -1, false, 0, "SIGTERM", 3.0},
      {"SIGHUP", "10", SIGHUP, -1, false, 0, "SIGHUP", 3.0},
      {"bumper", "10", 0, 4, false, 1, "left bumper closed", 3.0},
      {"emergency", "10", 0, -1, true, 1, nullptr, 3.0},
  };
  for (const Case& c : cases) {
    sim::ScriptedPeer peer;
    std::atomic<int> aa_count{0};
    peer.respond([&](const Bytes& request) -> sim::ScriptedReply {
      const std::string command = command_of(request);
      if (command == "AA") {
        const bool bumper = c.bumper_from_aa >= 0 && aa_count++ >= c.bumper_from_aa;
        return {aa_reply(bumper ? '1' : '0', c.emergency ? '1' : '0')};
      }
      return {sim::status_frame('0')};
    });
    TavikProcess drive({"--json", "--drvb", peer.path(), "drvb", "drive", "120", "-80", "--for", c.seconds});
    if (c.signal != 0) {
      ASSERT_TRUE(peer.wait_for_requests(6, std::chrono::seconds(3))) << c.name;
      drive.signal(c.signal);
    }
    const Finished f = drive.finish();
    EXPECT_EQ(f.exit_code, c.exit_code) << c.name << f.err;
    EXPECT_LT(f.seconds, c.at_most_s) << c.name;

    std::vector<std::string> velocities;
    for (const Bytes& request : peer.requests()) {
      if (command_of(request).rfind("BE", 0) == 0) velocities.push_back(command_of(request));
    }
    if (c.emergency) {
      EXPECT_TRUE(velocities.empty()) << c.name;  // refused before driving
      EXPECT_NE(f.err.find("refused: emergency stop closed"), std::string::npos) << f.err;
      continue;
    }
    ASSERT_GE(velocities.size(), 2u) << c.name;
    EXPECT_EQ(velocities.back(), "BE;") << c.name;  // 0,0: zeros go out as empty fields
    for (std::size_t i = 0; i + 1 < velocities.size(); ++i) EXPECT_EQ(velocities[i], "BE120;-80") << c.name;
    const auto record = nlohmann::json::parse(f.out.substr(0, f.out.find('\n')));
    EXPECT_EQ(record.at("ended"), c.ended) << c.name;
    EXPECT_EQ(record.at("stop_sent"), true) << c.name;
  }
}

}  // namespace
}  // namespace tavik::test
