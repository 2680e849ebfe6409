// How a bridge starts and ends by itself: one name, one bridge (a second
// does not start, and of two that meet after the broker returns one ends
// without taking the name back), and ports that do not open at the start.
#include <gtest/gtest.h>

#include "bridge_fixture.h"

namespace tavik::test {
namespace {

bool online(const std::string& p) { return has(p, "\"online\""); }

// The lines of text that hold part.
int lines_with(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
  return n;
}

TEST_F(Bridge, ASecondBridgeUnderTheNameDoesNotStart) {
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  TavikProcess first(bridge_args(broker, "r1", {"--allow-drive"}));
  ASSERT_NE(client.wait_for("tavik/r1/state", 5s, online), "");
  // Another bridge for r1 (on the same robot: its ports busy) sees the first publish, and ends.
  const Finished second = TavikProcess(bridge_args(broker, "r1")).finish(10s);
  EXPECT_EQ(second.exit_code, 4) << second.out << second.err;
  EXPECT_TRUE(has(second.err, "another bridge runs as tavik/r1/")) << second.err;
  EXPECT_TRUE(has(second.out, "another bridge publishes as tavik/r1/")) << second.out;
  // The first went on as it was.
  MqttClient later(broker.port(), "tavik/r1/state");
  EXPECT_TRUE(has(later.wait_for("tavik/r1/state", 2s), "\"drive_allowed\":true")) << "not the first's state";
  const std::size_t before = client.count();
  client.publish("tavik/r1/cmd/stop", "{}");
  EXPECT_TRUE(has(client.wait_for("tavik/r1/cmd/result", 2s, nullptr, before), "\"ok\":true"));
  first.signal(SIGTERM);
  const Finished f = first.finish(3s);
  EXPECT_EQ(f.exit_code, 143) << f.err;
  EXPECT_FALSE(has(f.out, "broker lost")) << f.out;
}

TEST_F(Bridge, TwoBridgesThatMeetAfterTheBrokerReturnsLeaveOne) {
  MqttBroker broker(broker_dir_);
  TavikProcess first(bridge_args(broker, "r1", {"--allow-drive"}));
  {
    MqttClient client(broker.port());
    ASSERT_NE(client.wait_for("tavik/r1/state", 5s, online), "");
  }
  broker.kill();
  auto second_args = bridge_args(broker, "r1");
  second_args.insert(second_args.begin(), "--simulate");
  TavikProcess second(second_args);
  std::this_thread::sleep_for(1s);
  broker.start();
  MqttClient states(broker.port(), "tavik/r1/state");
  std::this_thread::sleep_for(8s);  // both back within the longest back-off, and one ended
  // No loop: the state stays as it is.
  const std::size_t settled = states.count();
  std::this_thread::sleep_for(3s);
  EXPECT_EQ(states.count(), settled);
  first.signal(SIGTERM);
  second.signal(SIGTERM);
  const Finished a = first.finish(5s), b = second.finish(5s);
  EXPECT_EQ(std::min(a.exit_code, b.exit_code), 4) << a.err << b.err;
  EXPECT_EQ(std::max(a.exit_code, b.exit_code), 143) << a.err << b.err;
  const Finished& ended = a.exit_code == 4 ? a : b;
  EXPECT_TRUE(has(ended.out, "another bridge publishes as tavik/r1/")) << ended.out;
  // The retained state is the one left's.
  MqttClient later(broker.port(), "tavik/r1/state");
  EXPECT_TRUE(has(later.wait_for("tavik/r1/state", 2s),
                  a.exit_code == 143 ? "\"drive_allowed\":true" : "\"drive_allowed\":false"));
}

TEST_F(Bridge, PortsBusyAtTheStartAreTriedAgainAndANameThatIsNoPortIsUsage) {
  MqttBroker broker(broker_dir_);
  MqttClient client(broker.port());
  std::optional<TavikProcess> holder(std::in_place, std::vector<std::string>{"watch", "--duration", "4"});
  for (int i = 0; i < 100 && !sim_.client_attached(sim::Board::kDrvb); ++i) std::this_thread::sleep_for(20ms);
  TavikProcess bridge(bridge_args(broker, "r1"));
  ASSERT_NE(client.wait_for("tavik/r1/state", 5s, online), "");
  EXPECT_NE(client.wait_for("tavik/r1/diagnostics", 3s,
                            [](const std::string& p) { return has(p, "busy: held by process"); }),
            "");
  EXPECT_EQ(holder->finish(6s).exit_code, 0);
  const std::size_t freed = client.count();
  EXPECT_NE(client.wait_for("tavik/r1/battery", 4s, nullptr, freed), "");
  EXPECT_NE(client.wait_for("tavik/r1/wheels", 1s, nullptr, freed), "");
  bridge.signal(SIGTERM);
  const Finished f = bridge.finish(3s);
  EXPECT_EQ(f.exit_code, 143) << f.err;
  // Each reason once, not every 2 s.
  EXPECT_EQ(lines_with(f.out, "psb at COM7 not open: busy"), 1) << f.out;
  EXPECT_EQ(lines_with(f.out, "drvb at COM8 not open: busy"), 1) << f.out;
  EXPECT_TRUE(has(f.out, "psb at COM7 open")) << f.out;

  for (const char* port : {"telnet://robot:23", "tcp://"}) {
    SCOPED_TRACE(port);
    const Finished usage =
        TavikProcess({"--drvb", port, "bridge", "--broker", broker.url(), "--name", "r1"}).finish(5s);
    EXPECT_EQ(usage.exit_code, 2) << usage.err;
    EXPECT_TRUE(has(usage.err, "--drvb")) << usage.err;
  }
}

}  // namespace
}  // namespace tavik::test
