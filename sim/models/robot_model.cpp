#include "sim/models/robot_model.h"

#include <array>

#include "facts/board_requests.h"

namespace tavik::sim {
namespace {

// Every request each board knows: its letters are the board facts' (what
// the libraries send), the shape of the request and of its reply are the
// simulator's own, so that the libraries are tested against a board they
// share no reply code with.
struct Known {
  std::string_view letters;
  std::size_t length;  // exact request length, or 0 for "letters and any arguments"
  bool status_reply;
  bool digit_last = false;  // the last byte must be a digit
};

constexpr std::array<Known, 4> kPsbCommands = {{
    {psb::kPowerDataRequest.letters, 3, false},
    {psb::kRangesRequest.letters, 3, false},
    {psb::kMaxDistRequest.letters, 4, false, true},  // the maximum distance code, '0'..'9'
    {psb::kSwitchRequest.letters, 4, true},
}};

constexpr std::array<Known, 9> kDrvbCommands = {{
    {drvb::kServoRequest.letters, 0, true},
    {drvb::kServoCommitRequest.letters, 0, true},
    {drvb::kVelocityRequest.letters, 0, true},
    {drvb::kStatusBitsRequest.letters, 0, false},
    {drvb::kEncodersRequest.letters, 0, true},
    {drvb::kErrorResetRequest.letters, 0, true},
    {drvb::kReadRegisterRequest.letters, 0, true},
    {drvb::kWriteRegisterRequest.letters, 0, true},
    {drvb::kStoreRequest.letters, 0, true},
}};

// The simulated boards know every request of the facts, in their order.
template <std::size_t N, std::size_t M>
constexpr bool knows_all(const std::array<Known, N>& known, const RequestFact (&facts)[M]) {
  if (N != M) return false;
  for (std::size_t i = 0; i < N; ++i)
    if (known[i].letters != facts[i].letters) return false;
  return true;
}
static_assert(knows_all(kPsbCommands, psb::kRequests), "a power board request the simulator does not know");
static_assert(knows_all(kDrvbCommands, drvb::kRequests), "a drive board request the simulator does not know");

template <std::size_t N>
std::optional<CommandInfo> find(const std::array<Known, N>& table, std::string_view command) {
  for (const Known& k : table) {
    if (command.substr(0, k.letters.size()) != k.letters) continue;
    if (k.length != 0 && command.size() != k.length) continue;
    if (k.digit_last && (command.back() < '0' || command.back() > '9')) continue;
    return CommandInfo{std::string(k.letters), k.status_reply};
  }
  return std::nullopt;
}

template <std::size_t N>
std::optional<CommandInfo> find_letters(const std::array<Known, N>& table, std::string_view letters) {
  for (const Known& k : table) {
    if (k.letters == letters) return CommandInfo{std::string(k.letters), k.status_reply};
  }
  return std::nullopt;
}

template <std::size_t N>
std::string list_letters(const std::array<Known, N>& table) {
  std::string out;
  for (const Known& k : table) {
    if (!out.empty()) out += ' ';
    out += k.letters;
  }
  return out;
}

}  // namespace

std::optional<CommandInfo> known_command(Board board, std::string_view letters) {
  return board == Board::kPsb ? find_letters(kPsbCommands, letters) : find_letters(kDrvbCommands, letters);
}

std::string known_commands(Board board) {
  return board == Board::kPsb ? list_letters(kPsbCommands) : list_letters(kDrvbCommands);
}

std::optional<CommandInfo> classify_request(Board board, std::string_view command) {
  return board == Board::kPsb ? find(kPsbCommands, command) : find(kDrvbCommands, command);
}

RobotModel::RobotModel(std::uint64_t seed, Clock::time_point now) : drive_(now), power_(seed), now_(now) {}

double RobotModel::drive_amp() const {
  return drive_current(drive_.speed_left(), drive_.speed_right(), drive_.servo());
}

void RobotModel::advance_to(Clock::time_point now) {
  // After a long pause (a stopped debugger, a loaded machine) catch up at
  // most a minute; the rest is skipped.
  constexpr auto kMaxCatchUp = std::chrono::minutes(1);
  if (now - now_ > kMaxCatchUp) now_ = now - kMaxCatchUp;
  constexpr double kStepSeconds = std::chrono::duration<double>(kWorldStep).count();
  while (now - now_ >= kWorldStep) {
    now_ += kWorldStep;
    drive_.step(world_, kStepSeconds, now_);
    power_.step(kStepSeconds, drive_amp());
  }
}

Bytes RobotModel::answer(Board board, std::string_view command, Clock::time_point now) {
  advance_to(now);
  if (board == Board::kPsb) return power_.answer(command, world_, drive_amp());
  return drive_.answer(command, now);
}

SimStatus RobotModel::snapshot(Clock::time_point now) {
  advance_to(now);
  SimStatus s;
  const Pose& pose = world_.pose();
  s.x_mm = pose.x_mm;
  s.y_mm = pose.y_mm;
  s.heading_rad = pose.heading_rad;
  s.servo_on = drive_.servo();
  s.velocity_left = drive_.command_left();
  s.velocity_right = drive_.command_right();
  s.encoder_left = drive_.encoder_left();
  s.encoder_right = drive_.encoder_right();
  s.bumper_left = drive_.bumper_left();
  s.bumper_right = drive_.bumper_right();
  s.emergency = drive_.emergency();
  s.drive_error_left = drive_.error_left();
  s.drive_error_right = drive_.error_right();
  s.max_velocity = drive_.registers().max_velocity_forward;
  s.comm_err_time_ms = drive_.registers().comm_err_time_ms;
  s.ad_time_ms = drive_.registers().ad_time_ms;
  s.devices = power_.devices();
  s.battery_volt = power_.battery_volt();
  s.current_amp = power_.current(drive_amp());
  s.max_dist_code = power_.max_dist_code();
  s.ranges_mm = power_.ranges(world_);
  return s;
}

}  // namespace tavik::sim
