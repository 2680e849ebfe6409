#include "cmd_vel_drive.h"

#include "process.h"
#include "session.h"

namespace tavik::cli {

std::string outcome_text(const drive::Outcome& outcome) {
  using Kind = drive::Outcome::Kind;
  using Why = drive::Outcome::Why;
  switch (outcome.kind) {
    case Kind::kTaken:
    case Kind::kSuperseded:
      return "";
    case Kind::kFailed:
      return "cmd_vel not driven: " + outcome.step + " failed: " + describe(outcome.answer.result);
    case Kind::kEnded:
      if (!outcome.block.text.empty()) return "drive stopped: " + outcome.block.text;
      if (outcome.step == "time") return "";  // cmd_vel stopped coming: the stop is the rule
      return "drive stopped: " + outcome.step + " failed: " + describe(outcome.answer.result);
    case Kind::kRefused:
      break;
  }
  switch (outcome.why) {
    case Why::kBlocked:
      return "cmd_vel refused: " + outcome.block.text;
    case Why::kAboveMaxVelocity:
      return "cmd_vel refused: " + std::to_string(outcome.left) + "," + std::to_string(outcome.right) +
             " mm/s is above the board's Max Velocity of " + std::to_string(outcome.max_velocity) + " mm/s";
    case Why::kNotOpen:
      return "cmd_vel refused: the drive board's port is not open";
    case Why::kStopUnanswered:
      return "cmd_vel refused: the drive board has not answered the stop (0,0) yet";
    default:
      return "";  // a stop came first, or the node is ending
  }
}

CmdVelDrive::CmdVelDrive(std::chrono::milliseconds hold, NodeLog& log)
    : hold_(hold),
      log_(log),
      runner_(
          {}, [this](const drive::Outcome& outcome) { told(outcome); }, [] { return stop_requested(); }) {}

void CmdVelDrive::attach(BoardConnection& drvb) {
  if (boards_.empty() || &boards_.back().connection() != &drvb) boards_.emplace_back(drvb);
  runner_.attach(&boards_.back());
}

void CmdVelDrive::drive(int left_mm_s, int right_mm_s) {
  runner_.drive(left_mm_s, right_mm_s, drive::Clock::now() + hold_);
}

void CmdVelDrive::told(const drive::Outcome& outcome) {
  const std::string text = outcome_text(outcome);
  {
    std::lock_guard lock(told_mutex_);
    // A drive taken starts the log's count anew: the next refusal is told again.
    if (outcome.kind == drive::Outcome::Kind::kTaken) last_told_.clear();
    if (text.empty() || text == last_told_) return;
    last_told_ = text;
  }
  log_.line(text);
}

}  // namespace tavik::cli
