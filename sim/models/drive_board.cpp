#include "sim/models/drive_board.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "facts/board_requests.h"
#include "sim/models/sim_status.h"

namespace tavik::sim {
namespace {

constexpr char kAccepted = '0';
constexpr char kRefused = '1';
constexpr char kStored = '4';
// The AC reply's count fields hold ten characters, sign included.
constexpr std::int64_t kCountModulus = 1000000000;

char bit_char(bool bit0, bool bit1 = false) {
  return static_cast<char>('0' + (bit0 ? 1 : 0) + (bit1 ? 2 : 0));
}

std::int32_t wrap_count(double travel_mm) {
  const auto counts = static_cast<std::int64_t>(std::floor(travel_mm * drvb::kEncoderCountsPerMm));
  return static_cast<std::int32_t>(counts % kCountModulus);
}

bool exceeds(std::int32_t velocity, std::int32_t forward_limit, std::int32_t backward_limit) {
  const std::int64_t v = velocity;
  if (v > 0) return v > std::max<std::int64_t>(forward_limit, 0);
  if (v < 0) return -v > std::max<std::int64_t>(backward_limit, 0);
  return false;
}

}  // namespace

std::optional<std::int32_t> parse_signed(std::string_view text) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
  }
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > std::int64_t{1} << 31) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

Bytes DriveBoard::answer(std::string_view command, Clock::time_point now) {
  if (command.size() < 2) return {};
  const std::string_view letters = command.substr(0, 2);
  const std::string_view args = command.substr(2);
  if (letters == drvb::kServoRequest.letters) {
    if (args != "11" && args != "00") return status_frame(kRefused);
    servo_ = args == "11";
    if (!servo_) stop();
    return status_frame(kAccepted);
  }
  if (letters == drvb::kServoCommitRequest.letters) {
    if (args != "11") return status_frame(kRefused);
    stop();
    return status_frame(kAccepted);
  }
  if (letters == drvb::kVelocityRequest.letters) return answer_velocity(args, now);
  if (letters == drvb::kStatusBitsRequest.letters) return answer_status_bits();
  if (letters == drvb::kEncodersRequest.letters)
    return args == "0" ? answer_encoders() : status_frame(kRefused);
  if (letters == drvb::kErrorResetRequest.letters) {
    error_left_ = error_right_ = 0;
    last_velocity_at_ = now;
    return status_frame(kAccepted);
  }
  if (letters == drvb::kReadRegisterRequest.letters) return answer_read_register(args);
  if (letters == drvb::kWriteRegisterRequest.letters) return answer_write_register(args);
  if (letters == drvb::kStoreRequest.letters) {
    if (!args.empty()) return status_frame(kRefused);
    const bool changed = unstored_change_;
    stored_ = registers_;
    unstored_change_ = false;
    return status_frame(changed ? kStored : kAccepted);
  }
  return {};
}

Bytes DriveBoard::answer_velocity(std::string_view args, Clock::time_point now) {
  const auto separator = args.find(';');
  if (separator == std::string_view::npos) return status_frame(kRefused);
  const auto left = parse_signed(args.substr(0, separator));
  const auto right = parse_signed(args.substr(separator + 1));
  if (!left || !right) return status_frame(kRefused);
  last_velocity_at_ = now;
  if (emergency_ || error_left_ != 0 || error_right_ != 0) return status_frame(kAccepted);
  const bool left_over = exceeds(*left, registers_.max_velocity_forward, registers_.max_velocity_backward);
  const bool right_over = exceeds(*right, registers_.max_velocity_forward, registers_.max_velocity_backward);
  if (left_over || right_over) {
    if (left_over) error_left_ |= kDriveErrOverVelocity;
    if (right_over) error_right_ |= kDriveErrOverVelocity;
    stop();
    return status_frame(kAccepted);
  }
  command_left_ = *left;
  command_right_ = *right;
  return status_frame(kAccepted);
}

std::int32_t* find_register(DriveRegisters& registers, int number) {
  switch (number) {
    case drvb::kMaxVelocityForward.number:
      return &registers.max_velocity_forward;
    case drvb::kMaxVelocityBackward.number:
      return &registers.max_velocity_backward;
    case drvb::kCommErrTime.number:
      return &registers.comm_err_time_ms;
    case drvb::kAdTime.number:
      return &registers.ad_time_ms;
    default:
      return nullptr;
  }
}

Bytes DriveBoard::answer_read_register(std::string_view args) const {
  if (args.empty() || args.size() > 3 || args.front() == '-') return status_frame(kRefused);
  const auto number = parse_signed(args);
  if (!number) return status_frame(kRefused);
  DriveRegisters registers = registers_;
  const std::int32_t* reg = find_register(registers, *number);
  if (reg == nullptr) return status_frame(kRefused);
  char text[2 + 11] = {};
  std::snprintf(text, sizeof text, "%c%d", kAccepted, *reg);
  return frame(std::string_view(text));
}

Bytes DriveBoard::answer_write_register(std::string_view args) {
  // Two register characters, then the value at once: "15500", "06" (0), "16-5".
  if (args.size() < 2 || args[0] < '0' || args[0] > '9' || args[1] < '0' || args[1] > '9') {
    return status_frame(kRefused);
  }
  std::int32_t* reg = find_register(registers_, (args[0] - '0') * 10 + (args[1] - '0'));
  const auto value = parse_signed(args.substr(2));
  if (reg == nullptr || !value) return status_frame(kRefused);
  *reg = *value;
  unstored_change_ = true;
  return status_frame(kAccepted);
}

Bytes DriveBoard::answer_status_bits() const {
  // STX, nine data bytes, ETX, BCC. Bytes 3 and 5 are the drive error
  // bytes as they are, byte 7 the bumpers and byte 8 the emergency stop as
  // the characters '0'..'3'; byte 1 is the board's '0' and byte 2 the servo.
  Bytes data = bytes("000000000");
  data[1] = static_cast<std::uint8_t>(bit_char(servo_));
  data[2] = error_left_;
  data[4] = error_right_;
  data[6] = static_cast<std::uint8_t>(bit_char(bumper_left_, bumper_right_));
  data[7] = static_cast<std::uint8_t>(bit_char(emergency_));
  return frame(data);
}

Bytes DriveBoard::answer_encoders() const {
  char text[2 + 2 * 11] = {};
  std::snprintf(text, sizeof text, "%c%010d%010d", kAccepted, encoder_left(), encoder_right());
  return frame(std::string_view(text));
}

void DriveBoard::step(World& world, double dt_s, Clock::time_point now) {
  const bool commanded = command_left_ != 0 || command_right_ != 0;
  if (can_move() && commanded &&
      now - last_velocity_at_ > std::chrono::milliseconds(std::max(registers_.comm_err_time_ms, 0))) {
    error_left_ |= kDriveErrCommTimeout;
    error_right_ |= kDriveErrCommTimeout;
    stop();
  }
  speed_left_ = speed_right_ = 0;
  if (can_move() && (command_left_ != 0 || command_right_ != 0)) {
    const double left_mm = command_left_ * dt_s;
    const double right_mm = command_right_ * dt_s;
    const double made = world.drive(left_mm, right_mm);
    // Kept within one turn of the counters, so the counts never overflow.
    constexpr double kCounterSpanMm = static_cast<double>(kCountModulus) / drvb::kEncoderCountsPerMm;
    travel_left_mm_ = std::fmod(travel_left_mm_ + left_mm * made, kCounterSpanMm);
    travel_right_mm_ = std::fmod(travel_right_mm_ + right_mm * made, kCounterSpanMm);
    if (dt_s > 0) {
      speed_left_ = command_left_ * made;
      speed_right_ = command_right_ * made;
    }
  }
  update_bumpers(world);
}

void DriveBoard::update_bumpers(const World& world) {
  const Contact contact = world.contact();
  const bool left = contact.left || hand_left_;
  const bool right = contact.right || hand_right_;
  if ((left && !bumper_left_) || (right && !bumper_right_)) stop();
  bumper_left_ = left;
  bumper_right_ = right;
}

void DriveBoard::reset(Clock::time_point now) {
  DriveBoard fresh(now);
  fresh.registers_ = fresh.stored_ = stored_;
  // The emergency switch and a hand on a bumper outlast the board's restart.
  fresh.emergency_ = emergency_;
  fresh.hand_left_ = hand_left_;
  fresh.hand_right_ = hand_right_;
  *this = fresh;
}

void DriveBoard::set_emergency(bool on) {
  if (on) stop();
  emergency_ = on;
}

void DriveBoard::press_bumpers(bool left, bool right, const World& world) {
  hand_left_ = left;
  hand_right_ = right;
  update_bumpers(world);
}

std::int32_t DriveBoard::encoder_left() const { return wrap_count(travel_left_mm_); }
std::int32_t DriveBoard::encoder_right() const { return wrap_count(travel_right_mm_); }

}  // namespace tavik::sim
