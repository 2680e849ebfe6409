// The command language of tavik-sim's standard input, one command a line.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "sim/simulator_impl.h"

namespace tavik::sim {
namespace {

std::string help_text() {
  return "commands:\n"
         "  status                          both boards, the robot and the counters\n"
         "  bump left|right|both|off        hold bumpers closed by hand, or let go\n"
         "  emg on|off                      emergency stop\n"
         "  battery VOLTS                   open-circuit battery voltage (0..30)\n"
         "  pose X_MM Y_MM [HEADING_DEG]    place the robot and stop it\n"
         "  fault psb|drvb CMD|* KIND [ARG] [p=PROB] [n=COUNT]\n"
         "      CMD: " +
         known_commands(Board::kPsb) + " (psb); " + known_commands(Board::kDrvb) +
         " (drvb); * for all\n"
         "      KIND: silence, bcc, status [CHAR], noise [COUNT], truncate, delay MS, drop PROB\n"
         "  fault clear [psb|drvb]          remove faults\n"
         "  unplug psb|drvb                 the board's device disappears\n"
         "  replug psb|drvb                 a new device, the link follows it\n"
         "  reset psb|drvb                  power-cycle a board (the drive board keeps what XD stored)\n"
         "  received psb|drvb               the bytes the board received since the last ask, in hex\n"
         "  help\n";
}

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

std::optional<double> number(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string error(const std::string& what) { return "error: " + what; }

std::string on_off(bool b) { return b ? "on" : "off"; }

std::string format_status(const SimStatus& s) {
  char line[256];
  std::string out;
  auto add = [&](int n) {
    if (n > 0) out.append(line, static_cast<std::size_t>(std::min<int>(n, sizeof line - 1)));
  };
  add(std::snprintf(line, sizeof line, "robot: x %.0f mm  y %.0f mm  heading %.1f deg\n", s.x_mm, s.y_mm,
                    s.heading_rad * 180 / std::numbers::pi));
  add(std::snprintf(
      line, sizeof line,
      "drvb: servo %s  velocity %d;%d  encoders %d;%d  bumpers %d%d  emg %s  errors 0x%02x;0x%02x\n",
      on_off(s.servo_on).c_str(), s.velocity_left, s.velocity_right, s.encoder_left, s.encoder_right,
      s.bumper_left, s.bumper_right, on_off(s.emergency).c_str(), s.drive_error_left, s.drive_error_right));
  add(std::snprintf(line, sizeof line, "drvb: max velocity %d mm/s  comm err time %d ms  a/d time %d ms\n",
                    s.max_velocity, s.comm_err_time_ms, s.ad_time_ms));
  add(std::snprintf(line, sizeof line, "psb: battery %.2f V  current %.2f A  max dist code %d  ranges",
                    s.battery_volt, s.current_amp, s.max_dist_code));
  for (int r : s.ranges_mm) add(std::snprintf(line, sizeof line, " %d", r));
  out += " mm\npsb: devices";
  for (int i = 0; i < kDeviceCount; ++i) {
    out += std::string(" ") + psb::kDeviceNames[static_cast<std::size_t>(i)] + "=" +
           on_off(s.devices[static_cast<std::size_t>(i)]);
  }
  out += "\n";
  for (const auto* c : {&s.psb, &s.drvb}) {
    out += c == &s.psb ? "psb:" : "drvb:";
    out += c->plugged ? " " + c->path : " unplugged";
    if (!c->link.empty()) out += " (" + c->link + ")";
    out += c->attached ? " attached" : " free";
    out += "  served";
    for (const auto& [command, n] : c->served) out += " " + command + "=" + std::to_string(n);
    out += "  bad " + std::to_string(c->bad_frames) + "  oversized " + std::to_string(c->oversized) +
           "  faulted " + std::to_string(c->faulted) + "  overrun " + std::to_string(c->overrun) + "\n";
  }
  return out;
}

// "fault BOARD CMD KIND [ARG] [p=PROB] [n=COUNT]" after the word "fault".
std::optional<Fault> parse_fault(const std::vector<std::string>& w, std::string& why) {
  if (w.size() < 4) {
    why = "fault needs a board, a command and a kind";
    return std::nullopt;
  }
  Fault f;
  const auto board = parse_board(w[1]);
  const auto kind = parse_fault_kind(w[3]);
  if (!board)
    why = "unknown board " + w[1];
  else if (!kind)
    why = "unknown fault kind " + w[3];
  if (!board || !kind) return std::nullopt;
  f.board = *board;
  f.command = w[2];
  f.kind = *kind;
  if (f.command != "*") {
    const auto command = known_command(f.board, f.command);
    if (!command) {
      why = "unknown " + w[1] + " command " + f.command + " (one of: " + known_commands(f.board) + ", or *)";
      return std::nullopt;
    }
    if (f.kind == FaultKind::kBadStatus && !command->status_reply) {
      why = f.command + " replies carry no status byte: a status fault cannot apply to them";
      return std::nullopt;
    }
  }
  std::vector<std::string> rest(w.begin() + 4, w.end());
  if (!rest.empty() && rest.back().rfind("n=", 0) == 0) {
    const auto n = number(rest.back().substr(2));
    if (!n || *n < 1 || *n > 1000000 || *n != std::floor(*n)) {
      why = "n= takes a count of requests, 1..1000000";
      return std::nullopt;
    }
    f.hits = static_cast<int>(*n);
    rest.pop_back();
  }
  if (!rest.empty() && rest.back().rfind("p=", 0) == 0) {
    const auto p = number(rest.back().substr(2));
    if (!p || *p < 0 || *p > 1) {
      why = "probability must be 0..1";
      return std::nullopt;
    }
    f.probability = *p;
    rest.pop_back();
  }
  if (rest.size() > 1) {
    why = "too many arguments";
    return std::nullopt;
  }
  const std::string arg = rest.empty() ? "" : rest[0];
  switch (f.kind) {
    case FaultKind::kDelay: {
      const auto ms = number(arg);
      if (!ms || *ms < 0 || *ms > 60000) {
        why = "delay needs milliseconds, 0..60000";
        return std::nullopt;
      }
      f.delay = std::chrono::milliseconds(static_cast<long>(*ms));
      break;
    }
    case FaultKind::kDrop: {
      const auto p = number(arg);
      if (!p || *p < 0 || *p > 1) {
        why = "drop needs a probability, 0..1";
        return std::nullopt;
      }
      f.probability = *p;
      break;
    }
    case FaultKind::kBadStatus:
      if (arg.size() > 1) {
        why = "status takes one character";
        return std::nullopt;
      }
      if (arg.size() == 1) f.status = arg[0];
      break;
    case FaultKind::kNoise: {
      if (arg.empty()) break;
      const auto n = number(arg);
      if (!n || *n < 0 || *n > 64) {
        why = "noise takes a byte count, 0..64";
        return std::nullopt;
      }
      f.noise_bytes = static_cast<int>(*n);
      break;
    }
    case FaultKind::kSilence:
    case FaultKind::kBadBcc:
    case FaultKind::kTruncate:
      if (!arg.empty()) {
        why = "this fault takes no argument";
        return std::nullopt;
      }
      break;
  }
  return f;
}

}  // namespace

const char* command_help() {
  static const std::string help = help_text();
  return help.c_str();
}

std::string Simulator::execute(const std::string& line) {
  const auto w = words(line);
  if (w.empty()) return "";
  const std::string& verb = w[0];
  auto board_arg = [&]() -> std::optional<Board> { return w.size() == 2 ? parse_board(w[1]) : std::nullopt; };

  if (verb == "help") return command_help();
  if (verb == "status" && w.size() == 1) return format_status(status());
  if (verb == "bump" && w.size() == 2) {
    const std::string& side = w[1];
    if (side != "left" && side != "right" && side != "both" && side != "off")
      return error("bump left|right|both|off");
    press_bumpers(side == "left" || side == "both", side == "right" || side == "both");
    return "ok: bumpers " + side;
  }
  if (verb == "emg" && w.size() == 2 && (w[1] == "on" || w[1] == "off")) {
    set_emergency(w[1] == "on");
    return "ok: emergency stop " + w[1];
  }
  if (verb == "battery" && w.size() == 2) {
    const auto volts = number(w[1]);
    if (!volts || *volts < 0 || *volts > 30) return error("battery takes volts, 0..30");
    set_battery(*volts);
    return "ok: battery " + w[1] + " V";
  }
  if (verb == "pose" && (w.size() == 3 || w.size() == 4)) {
    const auto x = number(w[1]);
    const auto y = number(w[2]);
    const auto deg = w.size() == 4 ? number(w[3]) : std::optional<double>(0.0);
    if (!x || !y || !deg) return error("pose X_MM Y_MM [HEADING_DEG]");
    set_pose(*x, *y, *deg * std::numbers::pi / 180);
    const SimStatus s = status();
    char text[96];
    std::snprintf(text, sizeof text, "ok: robot at %.0f %.0f", s.x_mm, s.y_mm);
    return text;
  }
  if (verb == "fault") {
    if (w.size() >= 2 && w[1] == "clear") {
      if (w.size() == 2) {
        clear_faults();
        return "ok: faults cleared";
      }
      const auto board = w.size() == 3 ? parse_board(w[2]) : std::nullopt;
      if (!board) return error("fault clear [psb|drvb]");
      clear_faults(*board);
      return "ok: " + w[2] + " faults cleared";
    }
    std::string why;
    const auto fault = parse_fault(w, why);
    if (!fault) return error(why);
    set_fault(*fault);
    return "ok: " + w[1] + " " + fault->command + " " + std::string(fault_kind_name(fault->kind));
  }
  if (verb == "unplug" || verb == "replug") {
    const auto board = board_arg();
    if (!board) return error(verb + " psb|drvb");
    if (verb == "unplug") {
      unplug(*board);
      return "ok: " + w[1] + " unplugged";
    }
    replug(*board);
    const std::string now = path(*board);
    return now.empty() ? error(w[1] + " could not be plugged in again") : "ok: " + w[1] + " on " + now;
  }
  if (verb == "received") {
    const auto board = board_arg();
    if (!board) return error("received psb|drvb");
    std::string out = "ok:";
    char hex[4];
    for (std::uint8_t b : take_received(*board)) {
      std::snprintf(hex, sizeof hex, " %02x", b);
      out += hex;
    }
    return out;
  }
  if (verb == "reset") {
    const auto board = board_arg();
    if (!board) return error("reset psb|drvb");
    impl_->with_model([&](RobotModel& m) {
      if (*board == Board::kPsb)
        m.power().reset();
      else
        m.drive().reset(std::chrono::steady_clock::now());
    });
    return "ok: " + w[1] + " reset";
  }
  return error("unknown command '" + line + "' (try help)");
}

}  // namespace tavik::sim
