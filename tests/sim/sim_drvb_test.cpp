// The substitute drive board and the world through lib_zarn_rs232: driving,
// encoders, ranges, walls, the emergency stop, parameters and drive errors.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "facts/drvb_facts.h"
#include "sim/models/sim_status.h"
#include "sim/models/world.h"
#include "sim_test_util.h"

namespace tavik::test {
namespace {

constexpr double kSpeed = 200;  // mm/s, the console's jog velocity

class SimDrvb : public SimBoards {};

TEST_F(SimDrvb, ServoOnDrivesEncodersAndTheFrontRange) {
  int before_ranges[7] = {};
  ASSERT_EQ(zarn_rs232_psb_read_usonic(before_ranges), 0);
  const Encoders before = encoders();
  ASSERT_EQ(zarn_rs232_drvb_set_servo(1), 0);
  const Clock::duration driven = drive_for(milliseconds(1000), 200, 200);
  ASSERT_EQ(zarn_rs232_drvb_set_velocity(0, 0), 0);
  const Encoders after = encoders();

  // Both wheels turned for the time the velocity was on, within the time a
  // request takes on either side.
  const double expected = kSpeed * seconds(driven) * drvb::kEncoderCountsPerMm;
  EXPECT_NEAR(after.left - before.left, expected, expected * 0.15);
  EXPECT_NEAR(after.right - before.right, expected, expected * 0.15);
  EXPECT_NEAR(after.left - before.left, after.right - before.right, drvb::kEncoderCountsPerMm);

  int ranges[7] = {};
  ASSERT_EQ(zarn_rs232_psb_read_usonic(ranges), 0);
  const double travelled = (after.left - before.left) / drvb::kEncoderCountsPerMm;
  EXPECT_NEAR(before_ranges[0] - ranges[0], travelled, 8);  // front
  EXPECT_NEAR(ranges[3], before_ranges[3], 5);              // left: parallel to the wall

  // Servo off: the same velocities move nothing.
  ASSERT_EQ(zarn_rs232_drvb_set_servo(0), 0);
  const Encoders parked = encoders();
  drive_for(milliseconds(400), 200, 200);
  const Encoders still = encoders();
  EXPECT_EQ(still.left, parked.left);
  EXPECT_EQ(still.right, parked.right);
  EXPECT_FALSE(sim_.status().servo_on);
}

TEST_F(SimDrvb, TurningOnTheSpotCountsOppositeWays) {
  ASSERT_EQ(zarn_rs232_drvb_set_servo(1), 0);
  drive_for(milliseconds(500), -200, 200);  // the console's Left
  ASSERT_EQ(zarn_rs232_drvb_set_velocity(0, 0), 0);
  const Encoders e = encoders();
  EXPECT_LT(e.left, 0);
  EXPECT_GT(e.right, 0);
  EXPECT_NEAR(e.left, -e.right, drvb::kEncoderCountsPerMm);
  const sim::SimStatus s = sim_.status();
  const double turned = (e.right - e.left) / drvb::kEncoderCountsPerMm / sim::kWheelBaseMm;
  EXPECT_NEAR(s.heading_rad, turned, 0.02);
  EXPECT_NEAR(s.x_mm, sim::kRoomWidthMm / 2, 1);
}

TEST_F(SimDrvb, DrivingIntoAWallClosesTheBumpersAndStops) {
  // 60 mm short of the east wall, facing it.
  sim_.set_pose(sim::kRoomWidthMm - sim::kRobotRadiusMm - 60, 1500, 0);
  EXPECT_EQ(bumpers().left, 0);
  ASSERT_EQ(zarn_rs232_drvb_set_servo(1), 0);
  drive_for(milliseconds(600), 200, 200);
  const Bumpers b = bumpers();
  EXPECT_EQ(b.left, 1);
  EXPECT_EQ(b.right, 1);
  EXPECT_EQ(b.emergency, 0);
  const sim::SimStatus s = sim_.status();
  EXPECT_NEAR(s.x_mm, sim::kRoomWidthMm - sim::kRobotRadiusMm, 1);
  // The wheels stopped at the wall: 60 mm of counts, not 600 ms worth.
  EXPECT_NEAR(encoders().left, 60 * drvb::kEncoderCountsPerMm, 2 * drvb::kEncoderCountsPerMm);
  int ranges[7] = {};
  ASSERT_EQ(zarn_rs232_psb_read_usonic(ranges), 0);
  EXPECT_LE(ranges[0], 2);

  // Backing off opens them again.
  drive_for(milliseconds(300), -200, -200);
  const Bumpers free = bumpers();
  EXPECT_EQ(free.left, 0);
  EXPECT_EQ(free.right, 0);

  // A bumper held by hand reads like one pressed by a wall.
  EXPECT_EQ(sim_.execute("bump right"), "ok: bumpers right");
  EXPECT_EQ(bumpers().right, 1);
  EXPECT_EQ(bumpers().left, 0);
  EXPECT_EQ(sim_.execute("bump off"), "ok: bumpers off");
  EXPECT_EQ(bumpers().right, 0);
}

TEST_F(SimDrvb, EmergencyStopHoldsTheWheels) {
  ASSERT_EQ(zarn_rs232_drvb_set_servo(1), 0);
  drive_for(milliseconds(300), 200, 200);
  EXPECT_EQ(sim_.execute("emg on"), "ok: emergency stop on");
  EXPECT_EQ(bumpers().emergency, 1);
  const Encoders stopped = encoders();
  drive_for(milliseconds(400), 200, 200);
  const Encoders held = encoders();
  EXPECT_EQ(held.left, stopped.left);
  EXPECT_EQ(held.right, stopped.right);
  EXPECT_EQ(sim_.status().velocity_left, 0);

  EXPECT_EQ(sim_.execute("emg off"), "ok: emergency stop off");
  EXPECT_EQ(bumpers().emergency, 0);
  drive_for(milliseconds(300), 200, 200);
  EXPECT_GT(encoders().left, held.left);
}

TEST_F(SimDrvb, ParametersWrittenReadBack) {
  struct Case {
    int id;
    int value;
  };
  const Case cases[] = {{0, 500}, {0, 2000}, {1, 35}, {1, 20000}, {2, 8}, {2, 1000}, {0, 0}};
  for (const Case& c : cases) {
    ASSERT_EQ(zarn_rs232_drvb_set_parameter(c.id, c.value), 0) << c.id << "=" << c.value;
    int value = -1;
    ASSERT_EQ(zarn_rs232_drvb_read_parameter(c.id, &value), 0) << c.id;
    EXPECT_EQ(value, c.value) << c.id;
  }
  const sim::SimStatus s = sim_.status();
  EXPECT_EQ(s.max_velocity, 0);
  EXPECT_EQ(s.comm_err_time_ms, 20000);
  EXPECT_EQ(s.ad_time_ms, 1000);
  // The store request alone (an unknown id) is still accepted.
  EXPECT_EQ(zarn_rs232_drvb_set_parameter(7, 1), 0);

  // What XD stored survives a power cycle of the board.
  ASSERT_EQ(zarn_rs232_drvb_set_parameter(2, 40), 0);
  EXPECT_EQ(sim_.execute("reset drvb"), "ok: drvb reset");
  int value = -1;
  ASSERT_EQ(zarn_rs232_drvb_read_parameter(2, &value), 0);
  EXPECT_EQ(value, 40);
}

TEST_F(SimDrvb, TooFastSetsADriveErrorUntilCleared) {
  ASSERT_EQ(zarn_rs232_drvb_set_parameter(0, 300), 0);
  ASSERT_EQ(zarn_rs232_drvb_set_servo(1), 0);
  ASSERT_EQ(zarn_rs232_drvb_set_velocity(400, 100), 0);
  char left = 0, right = 0;
  ASSERT_EQ(zarn_rs232_drvb_read_drive_err(&left, &right), 0);
  EXPECT_EQ(static_cast<std::uint8_t>(left), sim::kDriveErrOverVelocity);
  EXPECT_EQ(right, 0);
  // The robot stays put while the error stands, whatever is asked.
  drive_for(milliseconds(300), 200, 200);
  EXPECT_EQ(encoders().left, 0);

  ASSERT_EQ(zarn_rs232_drvb_set_drive_err_reset(), 0);
  ASSERT_EQ(zarn_rs232_drvb_read_drive_err(&left, &right), 0);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(right, 0);
  drive_for(milliseconds(300), 200, 200);
  EXPECT_GT(encoders().left, 0);

  // Backwards is limited by its own register, written alike.
  ASSERT_EQ(zarn_rs232_drvb_set_velocity(-300, -301), 0);
  ASSERT_EQ(zarn_rs232_drvb_read_drive_err(&left, &right), 0);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(static_cast<std::uint8_t>(right), sim::kDriveErrOverVelocity);
}

TEST_F(SimDrvb, NoVelocityWithinTheCommErrTimeStopsTheRobot) {
  ASSERT_EQ(zarn_rs232_drvb_set_parameter(1, 100), 0);
  ASSERT_EQ(zarn_rs232_drvb_set_servo(1), 0);
  ASSERT_EQ(zarn_rs232_drvb_set_velocity(200, 200), 0);
  std::this_thread::sleep_for(milliseconds(400));
  char left = 0, right = 0;
  ASSERT_EQ(zarn_rs232_drvb_read_drive_err(&left, &right), 0);
  EXPECT_EQ(static_cast<std::uint8_t>(left), sim::kDriveErrCommTimeout);
  EXPECT_EQ(static_cast<std::uint8_t>(right), sim::kDriveErrCommTimeout);
  // It ran for the comm time only: about 100 ms at 200 mm/s.
  const Encoders e = encoders();
  EXPECT_NEAR(e.left, 20 * drvb::kEncoderCountsPerMm, 10 * drvb::kEncoderCountsPerMm);
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(encoders().left, e.left);

  // Standing still, no time-out: the servo alone does not need velocities.
  ASSERT_EQ(zarn_rs232_drvb_set_drive_err_reset(), 0);
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_EQ(zarn_rs232_drvb_read_drive_err(&left, &right), 0);
  EXPECT_EQ(left, 0);
}

}  // namespace
}  // namespace tavik::test
