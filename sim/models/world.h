// The room and the robot in it: a rectangular room with four walls and a
// round differential-drive robot. Pure geometry and kinematics, no clock and
// no locking; the boards' models drive it.
#pragma once

namespace tavik::sim {

inline constexpr double kRoomWidthMm = 4000;  // along x
inline constexpr double kRoomDepthMm = 3000;  // along y
inline constexpr double kRobotRadiusMm = 200;
inline constexpr double kWheelBaseMm = 340;  // distance between the wheels' contact points
// The body counts as touching a wall up to this far from it.
inline constexpr double kContactMm = 0.5;

struct Pose {
  double x_mm = kRoomWidthMm / 2;
  double y_mm = kRoomDepthMm / 2;
  double heading_rad = 0;  // counter-clockwise from +x
};

struct Contact {
  bool left = false;  // the front-left bumper touches a wall
  bool right = false;
};

class World {
 public:
  const Pose& pose() const { return pose_; }
  // Puts the robot at pose, moved inside the room if its body would cross a wall.
  void place(const Pose& pose);

  // Rolls the wheels by left_mm and right_mm (positive forward). A move that
  // would take the body through a wall ends where the body touches it.
  // Returns the fraction of the move made, 0..1; the wheels turn by that
  // fraction of what was asked.
  double drive(double left_mm, double right_mm);

  // Distance along sensor i's axis (0..6, psb::kRangeSensors) from the robot's rim to the first wall.
  double wall_distance(int sensor) const;

  // Which front bumper touches a wall. The left one covers the rim from 20
  // degrees right of straight ahead to 100 degrees left, the right one the
  // mirror image, so a wall met head-on closes both; the back has none.
  Contact contact() const;

 private:
  Pose pose_;
};

}  // namespace tavik::sim
