// A consistent snapshot of both substitute boards and their shared world.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "facts/psb_facts.h"

namespace tavik::sim {

using psb::kDeviceCount;
inline constexpr int kRangeSensors = psb::kRangeCount;

// Bits of a drive error byte.
inline constexpr std::uint8_t kDriveErrOverVelocity = 0x01;  // commanded above Max Velocity
inline constexpr std::uint8_t kDriveErrCommTimeout = 0x02;   // no BE within Drive Comm. Err Time

struct BoardCounters {
  // Requests answered (or withheld by a fault), by command letters: "PDR",
  // "Sar", "SDU", "P"; "DB", "CZ", "BE", "AA", "AC", "CG", "XL", "XB", "XD".
  std::map<std::string, std::uint64_t> served;
  // Frames ignored without a reply: wrong BCC or unknown command.
  std::uint64_t bad_frames = 0;
  // Requests dropped for not fitting 256 bytes.
  std::uint64_t oversized = 0;
  // Requests whose reply a fault withheld or altered.
  std::uint64_t faulted = 0;
  // Replies lost because too many were already waiting for the line.
  std::uint64_t overrun = 0;
  bool plugged = true;
  // Whether a client holds the board's port open (see Simulator::client_attached).
  bool attached = false;
  std::string path;  // the pseudo-terminal's slave device
  std::string link;  // the published COM<n> link, or empty
};

struct SimStatus {
  // Robot pose in the room: millimetres from the room's lower left corner,
  // heading in radians counter-clockwise from the +x axis.
  double x_mm = 0;
  double y_mm = 0;
  double heading_rad = 0;

  // Drive board.
  bool servo_on = false;
  std::int32_t velocity_left = 0;  // commanded by the last BE, mm/s
  std::int32_t velocity_right = 0;
  std::int32_t encoder_left = 0;
  std::int32_t encoder_right = 0;
  bool bumper_left = false;
  bool bumper_right = false;
  bool emergency = false;
  std::uint8_t drive_error_left = 0;  // kDriveErr* bits
  std::uint8_t drive_error_right = 0;
  std::int32_t max_velocity = 0;      // mm/s (register 15)
  std::int32_t comm_err_time_ms = 0;  // register 30
  std::int32_t ad_time_ms = 0;        // register 6

  // Power & sensor board.
  std::array<bool, kDeviceCount> devices{};  // by PSB device number
  double battery_volt = 0;
  double current_amp = 0;
  int max_dist_code = 0;  // '0'..'9' as 0..9
  std::array<int, kRangeSensors> ranges_mm{};

  BoardCounters psb;
  BoardCounters drvb;
};

}  // namespace tavik::sim
