// The drive board's inner working: servo, wheel velocities, encoders, drive
// errors, bumpers, emergency stop and the parameter registers.
//
// Registers (facts/drvb_facts.h): 15 Max Velocity forward and 16 backward
// (mm/s), 30 Drive Comm. Err Time (ms), 6 A/D Time (ms). XB writes a register and takes effect at
// once; XD stores the registers, and a reset brings back what was stored.
// XD answers '4' when it stored a change, '0' when there was none.
//
// The wheels turn only while the servo is on, the emergency stop is clear and
// neither drive has an error. A BE above Max Velocity sets
// kDriveErrOverVelocity on that wheel's drive; no BE within Drive Comm. Err
// Time while the wheels are commanded to turn sets kDriveErrCommTimeout on
// both. Either error stops the robot until CG. The emergency stop, the servo
// going off and a bumper closing stop the robot too (the commanded
// velocities drop to 0 and a new BE is needed); CZ also zeroes them.
//
// Not thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

#include "facts/drvb_facts.h"
#include "sim/models/frame_builder.h"
#include "sim/models/world.h"

namespace tavik::sim {

struct DriveRegisters {
  std::int32_t max_velocity_forward = drvb::kMaxVelocityForward.delivered;
  std::int32_t max_velocity_backward = drvb::kMaxVelocityBackward.delivered;
  std::int32_t comm_err_time_ms = drvb::kCommErrTime.delivered;
  std::int32_t ad_time_ms = drvb::kAdTime.delivered;
};

class DriveBoard {
 public:
  using Clock = std::chrono::steady_clock;

  explicit DriveBoard(Clock::time_point now) : last_velocity_at_(now) {}

  // The reply to one request (command letters and arguments); empty when the
  // board knows no such command.
  Bytes answer(std::string_view command, Clock::time_point now);

  // Advances by dt seconds ending at now: the comm time-out, the wheels, the
  // bumpers.
  void step(World& world, double dt_s, Clock::time_point now);

  // Power cycle: everything back to its start, registers to what XD stored.
  void reset(Clock::time_point now);

  void set_emergency(bool on);
  // Bumpers held closed by hand, on top of the wall contact.
  void press_bumpers(bool left, bool right, const World& world);
  // Closes the bumpers that touch a wall or are held; a bumper that closes
  // stops the robot.
  void update_bumpers(const World& world);
  void stop() { command_left_ = command_right_ = 0; }

  bool servo() const { return servo_; }
  std::int32_t command_left() const { return command_left_; }
  std::int32_t command_right() const { return command_right_; }
  // Wheel speeds of the last step, mm/s.
  double speed_left() const { return speed_left_; }
  double speed_right() const { return speed_right_; }
  std::int32_t encoder_left() const;
  std::int32_t encoder_right() const;
  bool bumper_left() const { return bumper_left_; }
  bool bumper_right() const { return bumper_right_; }
  bool emergency() const { return emergency_; }
  std::uint8_t error_left() const { return error_left_; }
  std::uint8_t error_right() const { return error_right_; }
  const DriveRegisters& registers() const { return registers_; }

 private:
  Bytes answer_velocity(std::string_view args, Clock::time_point now);
  Bytes answer_read_register(std::string_view args) const;
  Bytes answer_write_register(std::string_view args);
  Bytes answer_status_bits() const;
  Bytes answer_encoders() const;
  bool can_move() const { return servo_ && !emergency_ && error_left_ == 0 && error_right_ == 0; }

  DriveRegisters registers_;
  DriveRegisters stored_;
  bool unstored_change_ = false;
  bool servo_ = false;
  std::int32_t command_left_ = 0;
  std::int32_t command_right_ = 0;
  double speed_left_ = 0;
  double speed_right_ = 0;
  double travel_left_mm_ = 0;
  double travel_right_mm_ = 0;
  std::uint8_t error_left_ = 0;
  std::uint8_t error_right_ = 0;
  bool emergency_ = false;
  bool hand_left_ = false;
  bool hand_right_ = false;
  bool bumper_left_ = false;
  bool bumper_right_ = false;
  Clock::time_point last_velocity_at_;
};

// Register number to register; nullptr for a number the board does not have.
std::int32_t* find_register(DriveRegisters& registers, int number);

// Parses an optional '-' and decimal digits; empty text is 0. nullopt for
// anything else or a value outside int32.
std::optional<std::int32_t> parse_signed(std::string_view text);

}  // namespace tavik::sim
