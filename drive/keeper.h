// The drive keeper: the rules that keep a robot safe while it drives, for
// one drive board, as a passive core. Commands (drive, stop, close) and the
// time come in; the exchanges to make with the board go out (next) and
// their answers come back (answered); what became of each command is
// reported (take_outcomes). It owns no thread, clock or port, so its rules
// are a table (tests/drive):
// - a drive's velocity goes out again every period until its command's
//   dead-man time, then the stop 0,0;
// - a failed velocity, beyond the failures in a row a program rides
//   through, drops the drive and owes the stop, which goes out before
//   anything else, also before a new command;
// - an unanswered stop is tried again at once, kStopAttempts in a row, then
//   every period; one a lost port refused every period;
// - a moving velocity answered after a stop began owes the stop again;
// - a speed above the board's Max Velocity (read before the first drive,
//   again after the port was lost) is refused, and so is a drive while the
//   bumpers or the emergency stop are closed;
// - a command overtaken by a newer one before it went out is superseded.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "facts/defaults.h"
#include "serial/failures/command_result.h"

namespace tavik::drive {

using Clock = std::chrono::steady_clock;
using Time = Clock::time_point;

// One exchange with the drive board.
struct Exchange {
  enum class Kind { kVelocity, kReadMaxVelocity, kReadStatus };
  Kind kind = Kind::kVelocity;
  int left = 0, right = 0;  // a velocity's
  unsigned stops_seen = 0;  // stops begun when it was handed out
  bool first = false;       // a command's first velocity
  bool drive = false;       // a drive's velocity (else a stop the keeper owes)
  bool apart = false;       // a stop sent beside the exchange in flight (stop_now)
  bool is_stop() const { return kind == Kind::kVelocity && left == 0 && right == 0; }
};

// A board's answer: its result and, for a read, its values (max velocity;
// the status, one request: bumpers left, right, the emergency stop, wheel
// errors left, right).
struct Answer {
  Result result;
  int values[5] = {0, 0, 0, 0, 0};
};

// What stands against driving: a reason code (the programs' reason::) and a
// text, "left bumper closed".
struct Block {
  std::string reason;
  std::string text;
};

struct Outcome {
  enum class Kind {
    kTaken,       // the command's first velocity was answered
    kSuperseded,  // a newer command came before it went out
    kRefused,     // not sent: why says (closed, blocked, above Max Velocity, no port)
    kFailed,      // an exchange for it failed: step and answer say which
    kEnded,       // the drive ended: "time", a block, a wheel error, a failure
  };
  enum class Why { kNone, kClosed, kBlocked, kAboveMaxVelocity, kNotOpen, kStopFirst, kStopUnanswered };
  Kind kind = Kind::kTaken;
  std::uint64_t tag = 0;  // the command's, as given
  Why why = Why::kNone;
  std::string step;  // "send velocity", "read max-velocity", ...
  Answer answer;
  Block block;                 // kBlocked, or a block or wheel error that ended a drive
  const char* code = nullptr;  // the reason code of a reading that ended a drive (drive_safety.h)
  int max_velocity = 0;        // kAboveMaxVelocity
  int left = 0, right = 0;
};

struct Settings {
  std::chrono::milliseconds period = kVelocityPeriod;
  // Failed exchanges in a row a drive goes on after (the next velocity when due).
  int ridden_failures = 0;
  // After each velocity taken: read the bumpers and the wheel errors, and
  // end the drive on a closed one or an error.
  bool watch = false;
  // Refuse a speed above the board's Max Velocity.
  bool check_max_velocity = true;
  // A drive at 0,0 is held too (sent every period until its time), not sent once.
  bool hold_still = false;
  // A drive held by the operator's hand (the console's jog), its dead-man:
  // every failure is ridden through, also a refusal or the port lost.
  bool held = false;
};

class Keeper {
 public:
  explicit Keeper(Settings settings = {});

  // A drive at left,right until `until` (its dead-man); tag comes back in its outcomes.
  void drive(int left, int right, Time until, std::uint64_t tag = 0);
  // Drops the drive and refuses any command not yet sent; owes the stop at
  // once (a velocity may be on its way).
  void stop();
  // As stop, and refuses every drive from now on.
  void close();
  // The port is open (true) or not; without one no drive is on.
  void attach(bool open);
  // What the latest reading says against driving; a drive stops, a new one is refused.
  void set_blocked(std::optional<Block> why);
  void forget_max_velocity() { max_velocity_.reset(); }

  // The exchange to make now, or none (then wake says when to ask again).
  // Only one is handed out at a time but a stop (stop_now).
  std::optional<Exchange> next(Time now);
  // The stop to send at once from the caller, beside an exchange in flight
  // (the line lets a stop overtake a waiting velocity); none when none is owed.
  std::optional<Exchange> stop_now();
  void answered(const Exchange& exchange, const Answer& answer, Time now);
  Time wake() const;

  std::vector<Outcome> take_outcomes();

  bool driving() const { return drive_.has_value(); }
  bool pending() const { return command_.has_value(); }
  bool stop_owed() const { return stop_owed_; }
  // A moving velocity may have reached the board since the last answered stop.
  bool moved() const { return moved_; }
  // The stop owed goes out now (also before the line's other users).
  bool urgent() const { return stop_owed_ && urgent_ && !drive_; }
  bool in_flight() const { return in_flight_; }
  bool closed() const { return closed_; }
  // Unanswered stops in a row (kStopAttempts and over: the burst is spent).
  int stop_failures() const { return stop_failures_; }
  // Drive velocities the board took, and failed exchanges ridden through.
  int taken() const { return taken_; }
  int ridden() const { return ridden_; }

 private:
  struct Command {
    int left, right;
    Time until;
    std::uint64_t tag;
  };
  void drop();
  void end(Outcome outcome);
  void report(Outcome outcome) { outcomes_.push_back(std::move(outcome)); }
  void fail_command(const Command& command, Outcome::Why why, const char* step, const Answer& answer);
  std::optional<Exchange> start(Time now);
  Exchange hand_out(Exchange exchange);
  void on_velocity(const Exchange& exchange, const Answer& answer, Time now);
  void on_failure(const char* step, const Answer& answer);

  Settings settings_;
  bool attached_ = true;
  std::optional<Command> command_;  // arrived, not yet sent
  std::optional<Command> drive_;    // on: sent every period until its time
  std::optional<Command> sending_;  // the command whose first velocity is out
  Time sent_at_{};                  // when the drive's last velocity was handed out
  Time next_send_{};
  bool stop_owed_ = false;  // a velocity went out since the last answered stop
  bool moved_ = false;      // a moving one among them
  bool urgent_ = false;
  int stop_failures_ = 0;
  unsigned stops_ = 0;  // stops handed out
  int failed_in_row_ = 0;
  std::vector<Exchange::Kind> reads_;  // watch reads owed after a velocity
  std::optional<int> max_velocity_;
  std::optional<Block> blocked_;
  bool closed_ = false;
  bool in_flight_ = false;
  bool stop_apart_ = false;  // a stop_now is out
  int taken_ = 0;
  int ridden_ = 0;
  std::vector<Outcome> outcomes_;
};

}  // namespace tavik::drive
