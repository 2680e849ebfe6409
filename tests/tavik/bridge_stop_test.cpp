// The stop the bridge owes while drive commands keep coming: to a drive
// board that stopped answering or spoils its replies, and at its own end.
#include <gtest/gtest.h>

#include <thread>

#include "bridge_fixture.h"

namespace tavik::test {
namespace {

TEST_F(Bridge, AFailingDriveBoardGetsTheStopWhileDriveCommandsKeepComing) {
  const struct {
    const char* name;
    const char* fault;
    bool stays_stopped;  // the board takes the stop and no velocity after it
  } cases[] = {
      {"silent", "fault drvb * silence", false},
      {"every reply spoiled", "fault drvb * bcc", true},
      {"velocity replies spoiled", "fault drvb BE bcc", false},
  };
  MqttBroker broker(broker_dir_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim_.execute("fault clear");
    MqttClient client(broker.port());
    TavikProcess bridge(bridge_args(broker, "r1", {"--allow-drive"}));
    ASSERT_NE(client.wait_for("tavik/r1/state", 5s, [](const std::string& p) { return has(p, "online"); }),
              "");
    VelocityRecord wire(sim_);
    {
      Joystick joystick(client, "tavik/r1/cmd/drive", kDrive200);
      ASSERT_TRUE(wire.first("BE200;200", Clock::now() - 1s, 2000ms));
      const auto failing = Clock::now();
      ASSERT_EQ(sim_.execute(c.fault).rfind("error", 0), std::string::npos);
      // The failed exchange's time-out (200 ms) and the stop at once, with room for a busy machine.
      const auto stop = wire.first("BE;", failing, 1500ms);
      ASSERT_TRUE(stop) << "no 0,0 while drive commands kept coming";
      EXPECT_LT(*stop - failing, 1000ms);
      if (c.stays_stopped) {
        std::this_thread::sleep_for(500ms);
        const sim::SimStatus status = sim_.status();
        EXPECT_EQ(status.velocity_left, 0);
        EXPECT_EQ(status.velocity_right, 0);
      }
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(wire.velocities().back().command, "BE;");
    bridge.signal(SIGTERM);
    EXPECT_EQ(bridge.finish(5s).exit_code, 143);
  }
}

// Ended by SIGTERM while a joystick keeps driving (the signal falling at
// another point of the drive's 100 ms cycle each time), or after the drive
// stopped: no drive is carried out after the signal, and 0,0 is the last
// velocity on the wire.
TEST_F(Bridge, AfterSigtermNoDriveGoesOutAndTheLastVelocityIsTheStop) {
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  constexpr int kDrivingRuns = 20, kIdleRuns = 3;
  for (int run = 0; run < kDrivingRuns + kIdleRuns; ++run) {
    const bool idle = run >= kDrivingRuns;  // the drive stopped by its dead-man before the signal
    SCOPED_TRACE((idle ? "idle, run " : "driving, run ") + std::to_string(run));
    const std::size_t before = client.count();
    TavikProcess bridge(bridge_args(broker, "r1", {"--allow-drive", "--dead-man", "0.2"}));
    ASSERT_NE(client.wait_for(
                  "tavik/r1/state", 5s, [](const std::string& p) { return has(p, "\"online\""); }, before),
              "");
    VelocityRecord wire(sim_);
    std::optional<Joystick> joystick(std::in_place, client, "tavik/r1/cmd/drive", kDrive200);
    ASSERT_TRUE(wire.first("BE200;200", Clock::now() - 1s, 2000ms));
    std::this_thread::sleep_for(std::chrono::milliseconds(200 + 5 * run));
    if (idle) {
      joystick.reset();
      std::this_thread::sleep_for(500ms);  // the dead-man's 0.2 s and its stop
      ASSERT_EQ(wire.velocities().back().command, "BE;");
    }
    const std::size_t driven = wire.velocities().size();
    const auto signalled = Clock::now();
    bridge.signal(SIGTERM);
    if (idle) joystick.emplace(client, "tavik/r1/cmd/drive", kDrive200);
    EXPECT_EQ(bridge.finish(5s).exit_code, 143);
    joystick.reset();
    // The record reads the simulator every millisecond: it has caught up once it shows the end's stop.
    ASSERT_TRUE(wire.first("BE;", signalled, 1000ms));
    std::this_thread::sleep_for(50ms);
    const auto velocities = wire.velocities();
    ASSERT_FALSE(velocities.empty());
    EXPECT_EQ(velocities.back().command, "BE;");
    if (idle) {
      for (std::size_t i = driven; i < velocities.size(); ++i)
        EXPECT_EQ(velocities[i].command, "BE;") << "a drive went out after the signal";
    }
  }
}

}  // namespace
}  // namespace tavik::test
