#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <thread>

#include "sim/models/frame_builder.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/psb_peer_replies.h"
#include "tests/support/peers/scripted_peer.h"

namespace tavik {
namespace {

using sim::Bytes;
using std::chrono::milliseconds;

class VelkPsb : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(velk_rs232_psb_create(peer_.path().c_str(), 100), 0); }
  void TearDown() override { velk_rs232_psb_destroy(); }
  test::ScriptedPeer peer_;
};

TEST_F(VelkPsb, SensorRangesAreScaledFloats) {
  Bytes data = test::sar_data({{0, 250}, {1, 44}, {2, 0}, {2, 253}, {0, 0}, {0x15, 0x7C}, {0, 150}});
  peer_.queue({sim::counted_frame(data), {}});
  psb_sensor_data sensor;
  std::memset(&sensor, 0xEE, sizeof sensor);
  ASSERT_EQ(velk_rs232_psb_read_sensor(&sensor), 0);
  EXPECT_EQ(peer_.requests().at(0), (Bytes{0x02, 0x53, 0x61, 0x72, 0x03, 0x43}));
  EXPECT_EQ(sensor.ranges[0], 0.25f);
  EXPECT_EQ(sensor.ranges[1], 0.3f);
  EXPECT_EQ(sensor.ranges[2], 512.0f * 0.001f);
  // The product with the float 0.001 is rounded once: one step above 0.765f.
  EXPECT_EQ(std::bit_cast<std::uint32_t>(sensor.ranges[3]), 0x3F43D70Bu);
  EXPECT_EQ(sensor.ranges[4], 0.0f);
  EXPECT_EQ(sensor.ranges[5], 5500.0f * 0.001f);
  EXPECT_EQ(sensor.ranges[6], 150.0f * 0.001f);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(sensor.extra_bytes[i], data[32 + i]) << i;  // reply positions 34..40
  EXPECT_EQ(sensor.extra_bytes[7], 0xEE);
  EXPECT_EQ(sensor.reserved, 0xEEEEEEEEu);
}

TEST_F(VelkPsb, FailedSensorReadLeavesTheRecordUntouched) {
  Bytes bad = sim::counted_frame(test::sar_data({{0, 1}}));
  bad.back() ^= 1;
  Bytes too_short = sim::counted_frame(Bytes(30, 1));  // ranges present, extra bytes missing
  for (const Bytes& reply : {bad, too_short, Bytes{}}) {
    peer_.queue({reply, {}});
    psb_sensor_data sensor;
    std::memset(&sensor, 0xEE, sizeof sensor);
    psb_sensor_data before = sensor;
    EXPECT_EQ(velk_rs232_psb_read_sensor(&sensor), -1);
    EXPECT_EQ(std::memcmp(&sensor, &before, sizeof sensor), 0);
  }
}

TEST_F(VelkPsb, SharedCommandsBehaveAsInZarn) {
  peer_.respond(test::good_psb_reply);
  psb_power_data power;
  ASSERT_EQ(velk_rs232_psb_read_power(&power), 0);
  EXPECT_EQ(power.battery_volt, 1200);
  EXPECT_EQ(power.servo_state, 1);
  EXPECT_EQ(velk_rs232_psb_set_power_control(6, 1), 0);
  EXPECT_EQ(velk_rs232_psb_set_usonic_max_dist(3), 0);
  EXPECT_EQ(velk_rs232_psb_set_usonic_max_dist(9), -1);
  auto requests = peer_.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1], sim::frame("PB31"));
  EXPECT_EQ(requests[2], sim::frame("SDU4"));
}

TEST(VelkConnection, LibrariesKeepSeparateConnections) {
  test::ScriptedPeer peer;
  peer.respond(test::good_psb_reply);
  psb_sensor_data sensor{};
  psb_power_data power{};
  EXPECT_EQ(velk_rs232_psb_read_sensor(&sensor), -1);  // before any create

  ASSERT_EQ(zarn_rs232_psb_create(peer.path().c_str(), 100), 0);
  EXPECT_EQ(velk_rs232_psb_read_power(&power), -1);
  EXPECT_EQ(velk_rs232_psb_set_power_control(0, 1), -1);
  EXPECT_EQ(velk_rs232_psb_create(peer.path().c_str(), 100), -1);  // port busy
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_TRUE(peer.requests().empty());
  zarn_rs232_psb_destroy();

  ASSERT_EQ(velk_rs232_psb_create(peer.path().c_str(), 100), 0);
  EXPECT_EQ(zarn_rs232_psb_create(peer.path().c_str(), 100), -1);
  EXPECT_EQ(velk_rs232_psb_read_sensor(&sensor), 0);
  velk_rs232_psb_destroy();
  EXPECT_EQ(velk_rs232_psb_read_sensor(&sensor), -1);
}

}  // namespace
}  // namespace tavik
