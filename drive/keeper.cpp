#include "drive/keeper.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "drive/drive_safety.h"
#include "facts/drvb_facts.h"

namespace tavik::drive {
namespace {

bool moving(int left, int right) { return left != 0 || right != 0; }

// A refusal or the port lost ends a drive whatever it rides through.
bool ends_at_once(const Result& result) {
  return result.failure == Failure::kRefused || is_port_loss(result.failure);
}

Outcome make(Outcome::Kind kind, std::uint64_t tag, Outcome::Why why = Outcome::Why::kNone,
             const char* step = "", const Answer& answer = {}) {
  Outcome outcome;
  outcome.kind = kind;
  outcome.tag = tag;
  outcome.why = why;
  outcome.step = step;
  outcome.answer = answer;
  return outcome;
}

}  // namespace

Keeper::Keeper(Settings settings) : settings_(settings) {}

void Keeper::drive(int left, int right, Time until, std::uint64_t tag) {
  Outcome refusal = make(Outcome::Kind::kRefused, tag);
  if (closed_) {
    refusal.why = Outcome::Why::kClosed;
  } else if (blocked_) {
    refusal.why = Outcome::Why::kBlocked;
    refusal.block = *blocked_;
  } else {
    if (command_) report(make(Outcome::Kind::kSuperseded, command_->tag));
    command_ = Command{left, right, until, tag};
    return;
  }
  report(std::move(refusal));
}

void Keeper::attach(bool open) {
  attached_ = open;
  if (open) return;
  drive_.reset();
  reads_.clear();
}

void Keeper::drop() {
  drive_.reset();
  reads_.clear();
  sending_.reset();
  // A velocity may be on the wire right now: the stop follows its answer.
  if (attached_) {
    stop_owed_ = urgent_ = true;
    stop_failures_ = 0;
  }
}

void Keeper::stop() {
  if (command_) {
    report(make(Outcome::Kind::kRefused, command_->tag, Outcome::Why::kStopFirst));
    command_.reset();
  }
  drop();
}

void Keeper::close() {
  closed_ = true;
  stop();
}

void Keeper::set_blocked(std::optional<Block> why) {
  blocked_ = std::move(why);
  if (blocked_ && (drive_ || command_)) stop();
}

void Keeper::end(Outcome outcome) {
  outcome.tag = drive_ ? drive_->tag : outcome.tag;
  report(std::move(outcome));
  drop();
}

void Keeper::fail_command(const Command& command, Outcome::Why why, const char* step, const Answer& answer) {
  report(make(Outcome::Kind::kFailed, command.tag, why, step, answer));
}

Exchange Keeper::hand_out(Exchange exchange) {
  exchange.stops_seen = stops_;
  if (exchange.is_stop()) {
    ++stops_;
    urgent_ = false;
  }
  in_flight_ = true;
  return exchange;
}

std::optional<Exchange> Keeper::stop_now() {
  if (!stop_owed_ || stop_apart_) return std::nullopt;
  stop_apart_ = true;
  Exchange stop;
  stop.apart = true;
  stop.stops_seen = stops_++;
  urgent_ = false;
  return stop;
}

std::optional<Exchange> Keeper::next(Time now) {
  if (in_flight_ || stop_apart_) return std::nullopt;
  if (drive_ && now >= drive_->until) end(make(Outcome::Kind::kEnded, 0, Outcome::Why::kNone, "time"));
  if (!reads_.empty()) {
    Exchange read;
    read.kind = reads_.front();
    reads_.erase(reads_.begin());
    return hand_out(read);
  }
  if (!attached_) {
    if (command_) {
      report(make(Outcome::Kind::kRefused, command_->tag, Outcome::Why::kNotOpen));
      command_.reset();
    }
    return std::nullopt;
  }
  // The stop owed first, also before a new command.
  if (!drive_ && stop_owed_ && (urgent_ || command_ || now >= next_send_)) return hand_out(Exchange{});
  if (command_) return start(now);
  if (drive_ && now >= next_send_) {
    Exchange velocity;
    velocity.left = drive_->left;
    velocity.right = drive_->right;
    velocity.drive = true;
    sent_at_ = now;
    return hand_out(velocity);
  }
  return std::nullopt;
}

// A new command: checked against Max Velocity (read first when unknown)
// and what stands against driving, then its first velocity.
std::optional<Exchange> Keeper::start(Time now) {
  const Command command = *command_;
  const bool moves = moving(command.left, command.right);
  if (moves && settings_.check_max_velocity && !max_velocity_) {
    Exchange read;
    read.kind = Exchange::Kind::kReadMaxVelocity;
    return hand_out(read);
  }
  command_.reset();
  Outcome refusal = make(Outcome::Kind::kRefused, command.tag);
  if (moves && settings_.check_max_velocity &&
      (std::abs(command.left) > *max_velocity_ || std::abs(command.right) > *max_velocity_)) {
    refusal.why = Outcome::Why::kAboveMaxVelocity;
    refusal.max_velocity = *max_velocity_;
    refusal.left = command.left;
    refusal.right = command.right;
  } else if (moves && blocked_) {
    refusal.why = Outcome::Why::kBlocked;
    refusal.block = *blocked_;
  } else if (closed_) {
    refusal.why = Outcome::Why::kClosed;
  }
  if (refusal.why != Outcome::Why::kNone) {
    report(std::move(refusal));
    return next(now);
  }
  // A 0,0 not held ends the drive before it: sent once, the last word.
  if (moves || settings_.hold_still)
    drive_ = command;
  else
    drive_.reset();
  sending_ = command;
  failed_in_row_ = 0;
  Exchange velocity;
  velocity.left = command.left;
  velocity.right = command.right;
  velocity.first = velocity.drive = true;
  sent_at_ = now;
  return hand_out(velocity);
}

void Keeper::answered(const Exchange& exchange, const Answer& answer, Time now) {
  if (exchange.apart)
    stop_apart_ = false;
  else
    in_flight_ = false;
  const bool ok = answer.result.is_ok();
  switch (exchange.kind) {
    case Exchange::Kind::kVelocity:
      on_velocity(exchange, answer, now);
      return;
    case Exchange::Kind::kReadMaxVelocity:
      if (ok) {
        max_velocity_ = answer.values[0];
      } else if (command_) {
        fail_command(*command_, Outcome::Why::kNone, "read max-velocity", answer);
        command_.reset();
      }
      return;
    case Exchange::Kind::kReadStatus:
      if (!drive_) return;
      if (!ok) {
        on_failure("read bumpers and wheel errors", answer);
      } else if (const Blocked blocked = blocked_by(answer.values[0], answer.values[1], answer.values[2]);
                 blocked.reason != nullptr) {
        Outcome outcome = make(Outcome::Kind::kEnded, 0);
        outcome.block = {blocked.reason, blocked.text};
        outcome.code = blocked.reason;
        end(std::move(outcome));
      } else if (const std::string error = wheel_error(answer.values[3], answer.values[4]); !error.empty()) {
        Outcome outcome = make(Outcome::Kind::kEnded, 0);
        outcome.block = {kWheelErrorReason, error};
        outcome.code = kWheelErrorReason;
        end(std::move(outcome));
      }
      return;
  }
}

void Keeper::on_velocity(const Exchange& exchange, const Answer& answer, Time now) {
  const bool moves = moving(exchange.left, exchange.right);
  const std::optional<Command> command = exchange.first ? sending_ : std::nullopt;
  if (exchange.first) sending_.reset();
  if (exchange.drive) next_send_ = std::max(sent_at_ + settings_.period, now);
  if (answer.result.is_ok()) {
    failed_in_row_ = 0;
    if (exchange.drive) ++taken_;
    if (settings_.watch && exchange.drive && drive_) reads_ = {Exchange::Kind::kReadStatus};
    if (moves) {
      stop_owed_ = moved_ = true;
      // A stop began after this velocity was handed out and may have gone
      // out before it: the stop goes once more, last.
      if (exchange.stops_seen != stops_) {
        urgent_ = true;
        stop_failures_ = 0;
      }
    } else {
      // 0,0 is the last on the wire (a moving velocity answered after it owes it again).
      stop_owed_ = moved_ = urgent_ = false;
      stop_failures_ = 0;
    }
    if (command) report(make(Outcome::Kind::kTaken, command->tag));
    return;
  }
  if (answer.result.failure == Failure::kSuperseded) {
    // It never went out: a stop overtook it.
    if (command) report(make(Outcome::Kind::kSuperseded, command->tag));
    return;
  }
  stop_owed_ = true;
  moved_ = moved_ || moves;
  if (is_port_loss(answer.result.failure)) max_velocity_.reset();
  if (exchange.is_stop() && !(exchange.drive && drive_)) {
    // Tried again at once while unanswered, kStopAttempts in a row, then every period.
    const bool again = !is_port_loss(answer.result.failure) && answer.result.failure != Failure::kNotOpen &&
                       ++stop_failures_ < drvb::kStopAttempts;
    if (!again) stop_failures_ = std::max(stop_failures_, drvb::kStopAttempts);
    urgent_ = again;
    next_send_ = now + settings_.period;
    if (!again && command_) {
      // A board that did not answer the stop gets no drive.
      fail_command(*command_, Outcome::Why::kStopUnanswered, "send the stop owed before the drive", answer);
      command_.reset();
    }
    if (command) fail_command(*command, Outcome::Why::kNone, "send velocity", answer);
    return;
  }
  if (command && !settings_.held &&
      (ends_at_once(answer.result) || failed_in_row_ + 1 > settings_.ridden_failures)) {
    fail_command(*command, Outcome::Why::kNone, "send velocity", answer);
    drive_.reset();
    drop();
    return;
  }
  on_failure("send velocity", answer);
}

// A failed exchange of a drive: ridden through up to the failures a program
// allows in a row; a refusal or the port lost ends it at once.
void Keeper::on_failure(const char* step, const Answer& answer) {
  reads_.clear();
  if (!drive_) return;
  ++failed_in_row_;
  if (!settings_.held && (ends_at_once(answer.result) || failed_in_row_ > settings_.ridden_failures)) {
    end(make(Outcome::Kind::kEnded, 0, Outcome::Why::kNone, step, answer));
    return;
  }
  ++ridden_;
}

Time Keeper::wake() const {
  if (in_flight_ || stop_apart_) return Time::max();
  if (!reads_.empty() || command_ || urgent()) return Time::min();
  Time at = Time::max();
  if (drive_) at = std::min(next_send_, drive_->until);
  if (stop_owed_ && !drive_ && attached_) at = std::min(at, next_send_);
  return at;
}

std::vector<Outcome> Keeper::take_outcomes() { return std::exchange(outcomes_, {}); }

}  // namespace tavik::drive
