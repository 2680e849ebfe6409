// tavik-ros2 [--allow-drive] [--namespace NS] [--domain-id N] ...
//
// Puts one robot on a ROS 2 graph: the drive board polled at --odom-rate
// (odom, tf, joint_states), the power & sensor board at the bridge's rate
// (battery_state, range/NAME), the diagnostics once a second; cmd_vel
// drives the wheels through the drive keeper with --allow-drive. A board
// whose port does not open is tried again every kOpenRetry; the drive
// board lost, a bumper, the emergency stop or the node ending stop the
// drive at once. Runs until a stop request.
#include "node.h"

#include <atomic>
#include <memory>

#include "cmd_vel_drive.h"
#include "dds_link.h"
#include "drive_safety.h"
#include "drvb/drvb_commands.h"
#include "facts/drvb_facts.h"
#include "process.h"
#include "program_log.h"
#include "retried_board.h"
#include "ros_names.h"
#include "stop_after_end.h"
#include "twist_drive.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kDiagnosticsPeriod = std::chrono::seconds(1);
// How long the end waits for the drive's stop to be answered.
constexpr auto kStopAnswerBound = std::chrono::milliseconds(300);

// What the bumpers and the emergency stop of a reading say against driving.
std::optional<drive::Block> block_of(const Json& drvb) {
  if (!drvb.contains("bumpers")) return std::nullopt;
  const Blocked blocked =
      blocked_by(drvb["bumpers"]["left"].get<bool>(), drvb["bumpers"]["right"].get<bool>(),
                 drvb["emergency_stop"].get<bool>());
  if (blocked.reason == nullptr) return std::nullopt;
  return drive::Block{blocked.reason, blocked.text};
}

class Node {
 public:
  Node(Session& session, Output& out, const Ros2Args& args, double separation_mm)
      : session_(session),
        args_(args),
        log_(out, "tavik-ros2: "),
        odometry_(separation_mm),
        drive_(std::chrono::milliseconds(std::lround(args.cmd_vel_timeout_s * 1000)), log_) {
    for (RetriedBoard& b : boards_) try_open(b);
    const RosNames names(args.ros_namespace);
    const int domain = domain_id(args);
    link_ = std::make_unique<DdsLink>(domain, names,
                                      [this](double linear, double angular) { on_cmd_vel(linear, angular); });
    log_.line("on domain " + std::to_string(domain) + " as " + names.node_namespace() +
              (args.allow_drive ? "; cmd_vel drives" : "; cmd_vel does not drive (no --allow-drive)"));
  }

  // DDS first, so that no cmd_vel comes in any more; then the drive (its last stop).
  ~Node() { link_.reset(); }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  int run();

 private:
  void try_open(RetriedBoard& b);
  void on_cmd_vel(double linear, double angular);
  void poll_drvb(double t);
  void get_ready(BoardConnection& drvb);
  void poll_psb(double t);
  void diagnostics();

  Session& session_;
  const Ros2Args& args_;
  ProgramLog log_;
  RetriedBoard boards_[2] = {RetriedBoard(Board::kPsb), RetriedBoard(Board::kDrvb)};
  odometry::WheelOdometry odometry_;
  std::optional<Json> last_drvb_;              // the drive board's last reading, for the diagnostics
  std::atomic<int> max_velocity_{-1};          // the board's Max Velocity, -1 not known (not ready)
  std::atomic<bool> told_not_allowed_{false};  // the log said once that cmd_vel does not drive
  std::atomic<bool> told_not_finite_{false};
  const Clock::time_point start_ = Clock::now();
  CmdVelDrive drive_;
  std::unique_ptr<DdsLink> link_;  // made last, destroyed first
};

void Node::try_open(RetriedBoard& b) {
  if (tavik::cli::try_open(session_, b, log_) && b.board == Board::kDrvb && args_.allow_drive)
    drive_.attach(*b.connection.load());
}

// On DDS's thread: hands the drive its wheel speeds and returns.
void Node::on_cmd_vel(double linear, double angular) {
  if (!args_.allow_drive) {
    if (!told_not_allowed_.exchange(true))
      log_.line("cmd_vel received; not driving: the node was started without --allow-drive");
    return;
  }
  const int max = max_velocity_;
  const std::optional<WheelSpeeds> speeds = wheel_speeds(linear, angular, odometry_.wheel_separation_mm(),
                                                         max >= 0 ? std::optional<int>(max) : std::nullopt);
  if (!speeds) {
    drive_.stop();
    if (!told_not_finite_.exchange(true)) log_.line("cmd_vel with a number that is not finite: stopped");
    return;
  }
  drive_.drive(speeds->left_mm_s, speeds->right_mm_s);
}

void Node::poll_drvb(double t) {
  RetriedBoard& b = boards_[1];
  if (b.connection.load() == nullptr) return;
  const auto wall = std::chrono::system_clock::now();
  const auto at = Clock::now();
  std::vector<Step> steps;
  const Json reading = poll_board(b, t, steps, [this] { drive_.give_way(); });
  note_period(b, steps, t);
  last_drvb_ = reading;
  const bool lost =
      std::any_of(steps.begin(), steps.end(), [](const Step& s) { return is_port_loss(s.result.failure); });
  if (lost) {
    drive_.stop();
    drive_.forget_max_velocity();
    max_velocity_ = -1;
    odometry_.restart();  // a board switched off and on counts from 0 again
  }
  drive_.set_blocked(block_of(reading));
  if (reading.contains("encoders")) {
    const odometry::Step step = odometry_.add(reading["encoders"]["left"].get<std::int32_t>(),
                                              reading["encoders"]["right"].get<std::int32_t>(), at);
    if (step == odometry::Step::kFirst || step == odometry::Step::kMoved) {
      link_->publish_odometry(odometry_.pose(), odometry_.twist(), wall);
      link_->publish_joints(wheel_joints(odometry_), args_.joint_names, wall);
    }
  }
  if (args_.allow_drive && max_velocity_ < 0 && !lost) get_ready(*b.connection.load());
}

// With --allow-drive, once the board answers and again after a loss: the
// servo on (the wheels turn only with it) and Max Velocity, to scale cmd_vel to.
void Node::get_ready(BoardConnection& drvb) {
  drive_.give_way();
  if (const Result servo = drvb::set_servo(drvb, 1); !servo.is_ok()) {
    log_.line("switch the servo on failed: " + describe(servo) + "; tried again at the next poll");
    return;
  }
  int value = 0;
  drive_.give_way();
  if (!drvb::read_parameter(drvb, drvb::kMaxVelocityId, &value).is_ok()) return;
  max_velocity_ = value;
  log_.line("servo on; Max Velocity " + std::to_string(value) + " mm/s");
}

void Node::poll_psb(double t) {
  RetriedBoard& b = boards_[0];
  if (b.connection.load() == nullptr) return;
  const auto wall = std::chrono::system_clock::now();
  std::vector<Step> steps;
  const Json reading = poll_board(b, t, steps);
  note_period(b, steps, t);
  if (reading.contains("battery_mv"))
    link_->publish_battery(reading["battery_mv"].get<float>() / 1000,
                           -reading["current_ma"].get<float>() / 1000, wall);
  if (reading.contains("ranges_mm")) {
    const Json& ranges = reading["ranges_mm"];
    for (int i = 0; i < psb::kRangeCount && i < static_cast<int>(ranges.size()); ++i)
      link_->publish_range(i, ranges[static_cast<std::size_t>(i)].get<float>() / 1000, wall);
  }
}

void Node::diagnostics() {
  std::vector<DiagnosticEntry> entries;
  for (RetriedBoard& b : boards_) {
    if (b.connection.load() == nullptr && b.left_out && Clock::now() >= b.next_open) try_open(b);
    entries.push_back(board_status(diagnostics_entry(b), session_.port(b.board)));
  }
  entries.push_back(
      drive_status(boards_[1].connection.load() != nullptr ? last_drvb_ : std::nullopt, args_.allow_drive));
  link_->publish_diagnostics(entries, std::chrono::system_clock::now());
}

int Node::run() {
  const auto period = [](double hz) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / hz));
  };
  const auto odom_period = period(args_.odom_rate_hz);
  const auto psb_period = period(kDefaultPollRateHz);
  auto next_odom = start_, next_psb = start_;
  auto next_diagnostics = start_ + kDiagnosticsPeriod;
  const auto seconds = [this](Clock::time_point now) {
    return recording::round_ms(std::chrono::duration<double>(now - start_).count());
  };
  for (;;) {
    auto now = Clock::now();
    if (now >= next_odom) {
      poll_drvb(seconds(now));
      next_odom = std::max(next_odom + odom_period, Clock::now());
    }
    now = Clock::now();
    if (now >= next_psb) {
      poll_psb(seconds(now));
      next_psb = std::max(next_psb + psb_period, Clock::now());
    }
    if (Clock::now() >= next_diagnostics) {
      diagnostics();
      next_diagnostics = std::max(next_diagnostics + kDiagnosticsPeriod, Clock::now());
    }
    if (const int sig = wait_for_stop(std::min({next_odom, next_psb, next_diagnostics})); sig != 0) {
      drive_.close();  // first of all: no drive from now on
      drive_.wait_stopped(kStopAnswerBound);
      log_.line(std::string("ending (") + stop_signal_name(sig) + ")");
      return stop_exit_code(sig);
    }
  }
}

}  // namespace

int run_node(Session& session, Output& out, const Ros2Args& args) {
  if (args.send_stop) return send_stop_after(session, out);
  const std::optional<double> separation = session.wheel_separation_mm(args.wheel_separation_mm);
  if (!separation)
    throw CommandError::usage(
        "--wheel-separation-mm is required for a real robot (--simulate takes the "
        "simulated robot's)");
  if (args.joint_names.size() != 2 || args.joint_names[0].empty() || args.joint_names[1].empty())
    throw CommandError::usage("--joint-names takes two names, left then right");
  Node node(session, out, args, *separation);
  return node.run();
}

}  // namespace tavik::cli
