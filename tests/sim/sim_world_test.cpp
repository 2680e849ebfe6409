// The room's geometry, called directly: ranges, walls and bumper contact.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "sim/models/world.h"

namespace tavik::sim {
namespace {

constexpr double kPi = std::numbers::pi;

double deg(double d) { return d * kPi / 180; }

TEST(SimWorld, RangesAreRimToWallAlongEachSensorAxis) {
  // The 4000 x 3000 mm room, the 200 mm robot; sensors at 0, 40, -40, 90,
  // -90, 150 and -150 degrees from the heading (positive to the left); the
  // figures are worked out apart from the simulator's code, to 0.1 mm.
  struct Case {
    Pose pose;
    double ranges[7];
  };
  const Case cases[] = {
      {{2000, 1500, 0}, {1800.0, 2133.6, 2133.6, 1300.0, 1300.0, 2109.4, 2109.4}},  // the middle, facing east
      {{1000, 500, deg(90)}, {2300.0, 1355.7, 3063.5, 800.0, 2800.0, 377.4, 377.4}},  // facing north
      {{3000, 2000, deg(-45)}, {1214.2, 803.8, 1807.6, 1214.2, 2628.4, 835.3, 2905.8}},
  };
  for (const Case& c : cases) {
    World world;
    world.place(c.pose);
    for (int i = 0; i < 7; ++i) {
      EXPECT_NEAR(world.wall_distance(i), c.ranges[i], 0.06)
          << "sensor " << i + 1 << " at " << c.pose.x_mm << "," << c.pose.y_mm;
    }
  }
}

TEST(SimWorld, TurningOnTheSpotTurnsTheSensors) {
  World world;  // the middle of the room, facing east
  // A quarter turn on the spot: the front sensor now looks at the far long wall.
  const double arc = kPi / 2 * kWheelBaseMm / 2;
  EXPECT_DOUBLE_EQ(world.drive(-arc, arc), 1.0);
  EXPECT_NEAR(world.pose().heading_rad, kPi / 2, 1e-9);
  EXPECT_NEAR(world.pose().x_mm, 2000, 1e-9);
  EXPECT_NEAR(world.wall_distance(0), 1300, 1e-6);  // the front sensor looks north
  EXPECT_NEAR(world.wall_distance(4), 1800, 1e-6);  // the right sensor east
}

TEST(SimWorld, DrivingStraightMovesByTheWheelTravel) {
  World world;
  EXPECT_DOUBLE_EQ(world.drive(300, 300), 1.0);
  EXPECT_NEAR(world.pose().x_mm, kRoomWidthMm / 2 + 300, 1e-9);
  EXPECT_NEAR(world.wall_distance(0), kRoomWidthMm / 2 - kRobotRadiusMm - 300, 1e-6);
  EXPECT_NEAR(world.drive(-100, -100), 1.0, 1e-12);
  EXPECT_NEAR(world.pose().x_mm, kRoomWidthMm / 2 + 200, 1e-9);
  EXPECT_FALSE(world.contact().left || world.contact().right);
}

TEST(SimWorld, AWallStopsTheBodyWhereItTouches) {
  World world;
  const double gap = kRoomWidthMm / 2 - kRobotRadiusMm;
  const double made = world.drive(2 * gap, 2 * gap);
  EXPECT_NEAR(made, 0.5, 1e-9);
  EXPECT_NEAR(world.pose().x_mm, kRoomWidthMm - kRobotRadiusMm, 1e-9);
  EXPECT_NEAR(world.wall_distance(0), 0, 1e-9);
  EXPECT_TRUE(world.contact().left);
  EXPECT_TRUE(world.contact().right);
  EXPECT_EQ(world.drive(10, 10), 0.0);           // no further
  EXPECT_DOUBLE_EQ(world.drive(-10, -10), 1.0);  // backing off is free
  EXPECT_FALSE(world.contact().left || world.contact().right);
}

TEST(SimWorld, BumperContactDependsOnWhereTheWallMeetsTheRim) {
  struct Case {
    double x, y, heading_deg;
    bool left, right;
  };
  const double touch_east = kRoomWidthMm - kRobotRadiusMm;
  const double touch_north = kRoomDepthMm - kRobotRadiusMm;
  const Case cases[] = {
      {touch_east, 1500, 0, true, true},          // head-on
      {touch_east, 1500, -60, true, false},       // wall 60 degrees to the left
      {touch_east, 1500, 60, false, true},        // wall 60 degrees to the right
      {touch_east, 1500, 180, false, false},      // wall behind: no rear bumper
      {touch_east, 1500, -95, true, false},       // wall just behind the left side
      {touch_east, touch_north, 45, true, true},  // corner ahead
      {kRobotRadiusMm, 1500, 180, true, true},    // the west wall, head-on
      {2000, kRobotRadiusMm, -90, true, true},    // the south wall, head-on
      {2000, 1500, 0, false, false},              // free
  };
  for (const Case& c : cases) {
    World world;
    world.place({c.x, c.y, deg(c.heading_deg)});
    EXPECT_EQ(world.contact().left, c.left) << c.x << "," << c.y << " heading " << c.heading_deg;
    EXPECT_EQ(world.contact().right, c.right) << c.x << "," << c.y << " heading " << c.heading_deg;
  }
}

TEST(SimWorld, PlacingOutsideTheRoomKeepsTheBodyInside) {
  World world;
  world.place({-500, 99999, 7 * kPi});
  EXPECT_DOUBLE_EQ(world.pose().x_mm, kRobotRadiusMm);
  EXPECT_DOUBLE_EQ(world.pose().y_mm, kRoomDepthMm - kRobotRadiusMm);
  EXPECT_NEAR(std::fabs(world.pose().heading_rad), kPi, 1e-9);
  world.place({NAN, 1000, INFINITY});
  EXPECT_DOUBLE_EQ(world.pose().x_mm, kRoomWidthMm / 2);
  EXPECT_DOUBLE_EQ(world.pose().heading_rad, 0);
  EXPECT_EQ(world.drive(NAN, 1), 0.0);
}

}  // namespace
}  // namespace tavik::sim
