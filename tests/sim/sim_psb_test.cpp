// The substitute power & sensor board through both libraries.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim/models/world.h"
#include "sim/simulator.h"
#include "sim_test_util.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik::test {
namespace {

class SimPsb : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(zarn_rs232_psb_create(sim_.psb_path().c_str(), kTimeoutMs), 0); }
  void TearDown() override {
    zarn_rs232_psb_destroy();
    velk_rs232_psb_destroy();
  }

  psb_power_data power() {
    psb_power_data d{};
    EXPECT_EQ(zarn_rs232_psb_read_power(&d), 0);
    return d;
  }

  sim::Simulator sim_;
};

TEST_F(SimPsb, EachDeviceSwitchShowsInThePowerDataAtItsOwnBit) {
  using Field = std::int32_t psb_power_data::*;
  const Field fields[7] = {&psb_power_data::drive_state, &psb_power_data::sensors_state,
                           &psb_power_data::lrf_state,   &psb_power_data::sbc_state,
                           &psb_power_data::sg_state,    &psb_power_data::lcd_state,
                           &psb_power_data::servo_state};
  for (unsigned device = 0; device < 7; ++device) {
    for (int on : {1, 0, 1}) {
      const psb_power_data before = power();
      ASSERT_EQ(zarn_rs232_psb_set_power_control(device, on), 0) << device;
      const psb_power_data after = power();
      for (unsigned other = 0; other < 7; ++other) {
        if (other == device) {
          EXPECT_EQ(after.*fields[other], on) << "device " << device;
        } else {
          EXPECT_EQ(after.*fields[other], before.*fields[other]) << "device " << device << " moved " << other;
        }
      }
      EXPECT_EQ(sim_.status().devices[device], on == 1);
    }
  }
  // All seven on: each on its own bit, none lost to another.
  const psb_power_data all = power();
  for (const Field f : fields) EXPECT_EQ(all.*f, 1);
}

TEST_F(SimPsb, CurrentFollowsTheDevicesAndTheBatterySagsUnderLoad) {
  const psb_power_data idle = power();
  EXPECT_GT(idle.battery_volt, 11000);  // 0.1 V units x 100: millivolts
  EXPECT_LE(idle.battery_volt, 12600);
  for (unsigned device = 0; device < 7; ++device) ASSERT_EQ(zarn_rs232_psb_set_power_control(device, 1), 0);
  const psb_power_data loaded = power();
  EXPECT_GE(loaded.consum_cur - idle.consum_cur, 1000);  // LRF, SG, LCD, servo: 1.95 A more
  std::this_thread::sleep_for(milliseconds(1200));
  const int sagged = power().battery_volt;
  EXPECT_LE(sagged, 12600 - 250);  // about 4 A through 0.08 ohm
  for (unsigned device = 0; device < 7; ++device) ASSERT_EQ(zarn_rs232_psb_set_power_control(device, 0), 0);
  std::this_thread::sleep_for(milliseconds(1000));
  const int recovering = power().battery_volt;
  EXPECT_GT(recovering, sagged);
  EXPECT_LT(recovering, 12600);  // slowly

  EXPECT_EQ(sim_.execute("battery 11.1"), "ok: battery 11.1 V");
  const int low = power().battery_volt;
  EXPECT_LE(low, 11100);
  EXPECT_GE(low, 10700);
}

TEST_F(SimPsb, RangesAreTheWallDistancesClampedByTheMaximumDistance) {
  int ranges[7] = {};
  ASSERT_EQ(zarn_rs232_psb_read_usonic(ranges), 0);
  const auto& s = sim_.status();
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(ranges[i], s.ranges_mm[static_cast<std::size_t>(i)], 2) << i;
  EXPECT_NEAR(ranges[0], sim::kRoomWidthMm / 2 - sim::kRobotRadiusMm, 2);  // front, 1800 mm: hi byte 7
  EXPECT_NEAR(ranges[3], sim::kRoomDepthMm / 2 - sim::kRobotRadiusMm, 2);  // left

  // Code '1' (150 cm) clamps the front range, not the shorter side ones.
  ASSERT_EQ(zarn_rs232_psb_set_usonic_max_dist(0), 0);
  EXPECT_EQ(sim_.status().max_dist_code, 1);
  ASSERT_EQ(zarn_rs232_psb_read_usonic(ranges), 0);
  EXPECT_EQ(ranges[0], 1500);
  EXPECT_NEAR(ranges[3], 1300, 2);

  // The sensor library reads the same reply as metres.
  zarn_rs232_psb_destroy();
  ASSERT_EQ(velk_rs232_psb_create(sim_.psb_path().c_str(), kTimeoutMs), 0);
  psb_sensor_data sensor{};
  ASSERT_EQ(velk_rs232_psb_read_sensor(&sensor), 0);
  EXPECT_FLOAT_EQ(sensor.ranges[0], 1.5f);
  EXPECT_NEAR(sensor.ranges[3], 1.3f, 0.003f);
  EXPECT_EQ(sensor.extra_bytes[0], 1);  // sensor 1 sees nothing within the maximum distance
  EXPECT_EQ(sensor.extra_bytes[3], 0);

  // Sensors switched off: no ranges.
  ASSERT_EQ(velk_rs232_psb_set_power_control(PSB_DEVICE_SENSORS, 0), 0);
  ASSERT_EQ(velk_rs232_psb_read_sensor(&sensor), 0);
  for (float r : sensor.ranges) EXPECT_EQ(r, 0.0f);
}

}  // namespace
}  // namespace tavik::test
