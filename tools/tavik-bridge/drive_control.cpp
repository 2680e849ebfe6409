#include "drive_control.h"

#include "process.h"

namespace tavik::cli {
namespace {

CommandOutcome failed(const Result& result, const std::string& step) {
  return {"drive", failure_row(result.failure).reason,
          step + " on the drive board failed: " + describe(result)};
}

// The result a keeper's outcome gives a command; none for a drive's end.
std::optional<CommandOutcome> result_of(const drive::Outcome& outcome) {
  using Kind = drive::Outcome::Kind;
  using Why = drive::Outcome::Why;
  switch (outcome.kind) {
    case Kind::kTaken:
      return CommandOutcome{"drive", "ok", ""};
    case Kind::kSuperseded:
      if (!outcome.answer.result.is_ok()) return failed(outcome.answer.result, "send velocity");
      return CommandOutcome{"drive", reason::kSuperseded, "a newer drive came before this one was sent"};
    case Kind::kFailed:
      return failed(outcome.answer.result, outcome.step);
    case Kind::kEnded:
      return std::nullopt;
    case Kind::kRefused:
      break;
  }
  switch (outcome.why) {
    case Why::kBlocked:
      return CommandOutcome{"drive", outcome.block.reason, "refused: " + outcome.block.text};
    case Why::kAboveMaxVelocity:
      return CommandOutcome{"drive", reason::kAboveMaxVelocity,
                            std::to_string(outcome.left) + "," + std::to_string(outcome.right) +
                                " mm/s is above the board's maximum velocity of " +
                                std::to_string(outcome.max_velocity) + " mm/s"};
    case Why::kNotOpen:
      return CommandOutcome{"drive", failure_row(Failure::kNotOpen).reason,
                            "the drive board's port is not open"};
    case Why::kStopFirst:
      return CommandOutcome{"drive", reason::kStopped, "a stop came before this drive was sent"};
    default:
      return CommandOutcome{"drive", reason::kStopped, "refused: the bridge is ending"};
  }
}

}  // namespace

DriveControl::DriveControl(std::chrono::milliseconds dead_man, Report report)
    : dead_man_(dead_man),
      report_(std::move(report)),
      runner_(
          {}, [this](const drive::Outcome& outcome) { told(outcome); },
          // A stop request the main loop has not taken yet (it may be reading the boards).
          [] { return stop_requested(); }) {}

void DriveControl::attach(BoardConnection& drvb) {
  if (boards_.empty() || &boards_.back().connection() != &drvb) boards_.emplace_back(drvb);
  runner_.attach(&boards_.back());
}

void DriveControl::drive(int left_mm_s, int right_mm_s, const Json& id) {
  std::uint64_t tag = 0;
  {
    std::lock_guard lock(ids_mutex_);
    tag = ++next_tag_;
    ids_[tag] = id;
  }
  runner_.drive(left_mm_s, right_mm_s, drive::Clock::now() + dead_man_, tag);
}

void DriveControl::set_blocked(std::optional<CommandOutcome> why) {
  if (why)
    runner_.set_blocked(drive::Block{why->reason, why->message});
  else
    runner_.set_blocked(std::nullopt);
}

void DriveControl::told(const drive::Outcome& outcome) {
  std::optional<CommandOutcome> result = result_of(outcome);
  if (!result) return;
  {
    std::lock_guard lock(ids_mutex_);
    const auto it = ids_.find(outcome.tag);
    if (it == ids_.end()) return;
    result->id = it->second;
    ids_.erase(it);
  }
  report_(*result);
}

}  // namespace tavik::cli
