// Both boards' models and the world they share, on one monotonic clock. The
// world advances in fixed steps up to the time of each access, so it moves
// between requests exactly as it would under a ticking clock.
//
// Not thread-safe: the simulator guards it with one lock.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "sim/models/drive_board.h"
#include "sim/models/fault.h"
#include "sim/models/power_board.h"
#include "sim/models/sim_status.h"
#include "sim/models/world.h"

namespace tavik::sim {

inline constexpr std::chrono::milliseconds kWorldStep{1};

struct CommandInfo {
  std::string key;  // command letters as counted: "P", "SDU", "BE", ...
  bool status_reply = false;
};

// Which command a request is, from its letters alone; nullopt for a command
// the board does not know (it then ignores the request).
std::optional<CommandInfo> classify_request(Board board, std::string_view command);
// The command with exactly these letters ("P", "SDU", "XL"), or nullopt.
std::optional<CommandInfo> known_command(Board board, std::string_view letters);
// The letters of every command the board knows, separated by blanks.
std::string known_commands(Board board);

class RobotModel {
 public:
  using Clock = std::chrono::steady_clock;

  RobotModel(std::uint64_t seed, Clock::time_point now);

  // Advances to now, then answers the request; empty for no reply.
  Bytes answer(Board board, std::string_view command, Clock::time_point now);
  void advance_to(Clock::time_point now);
  // The model's part of the status (counters and paths are the servers').
  SimStatus snapshot(Clock::time_point now);

  World& world() { return world_; }
  DriveBoard& drive() { return drive_; }
  PowerBoard& power() { return power_; }

 private:
  double drive_amp() const;

  World world_;
  DriveBoard drive_;
  PowerBoard power_;
  Clock::time_point now_;
};

}  // namespace tavik::sim
