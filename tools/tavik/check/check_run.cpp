#include "check_run.h"

#include <algorithm>
#include <chrono>

#include "board_readings.h"
#include "check_prompt.h"
#include "drive_loop.h"
#include "drvb/drvb_commands.h"
#include "process.h"
#include "utc_now.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Polls per board: the link's round trip is their median.
constexpr int kLinkPolls = 3;
// How often a switch the operator was asked to press is read.
constexpr std::chrono::milliseconds kPressPoll{50};

bool needs_drvb(ItemSource source) { return source != ItemSource::kPsb; }

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

std::string seconds_text(double seconds) { return number_text(seconds) + " s"; }

BoardRead poll(BoardConnection& connection, Board board) {
  const auto start = Clock::now();
  BoardRead read;
  for (int i = 0; i < kLinkPolls; ++i) {
    std::vector<Step> steps;
    read.reading.update(board == Board::kPsb ? read_psb(connection, steps) : read_drvb(connection, steps));
    read.figures.add(steps, 0);
    bool any_ok = false;
    for (const Step& step : steps) {
      if (step.result.is_ok())
        read.failed.erase(step.name);
      else
        read.failed[step.name] = step.result;
      any_ok = any_ok || step.result.is_ok();
    }
    if (!any_ok) break;  // a silent board: the rest would only wait as long again
  }
  read.seconds = seconds_since(start);
  read.ended = utc_now();
  return read;
}

int CheckRun::stopped() {
  if (stop_ == 0) stop_ = std::max(wait_for_stop(Clock::now()), 0);
  return stop_;
}

void CheckRun::presses(BoardConnection* connection) {
  // A board whose switches could not be read is not worth a person's wait.
  std::optional<Item> unread;
  for (const Item& item : judge_.items()) {
    if (item.name == "emergency_stop" && item.outcome == kError) unread = item;
  }
  for (const ItemRule& rule : judge_.rules()) {
    if (rule.kind != ItemKind::kPress) continue;
    if (!args_.interactive) {
      judge_.add(skipped(rule, "a person must press it: run with --interactive"));
    } else if (unread) {
      judge_.add(not_measured(rule, unread->message, unread->reason));
    } else if (connection != nullptr && stopped() == 0) {
      const std::size_t from = judge_.items().size();
      const auto start = Clock::now();
      press(*connection, rule);
      judge_.timed(from, seconds_since(start), utc_now());
    }
  }
}

void CheckRun::parameters(BoardConnection& connection) { read_parameters(connection, judge_); }

void CheckRun::read_parameters(BoardConnection& connection, CheckJudge& judge) {
  for (const Parameter& p : kParameters) {
    int value = 0;
    const auto start = Clock::now();
    const Result result = drvb::read_parameter(connection, p.id, &value);
    const std::size_t from = judge.items().size();
    judge.parameter(p, result, value);
    judge.timed(from, seconds_since(start), utc_now());
  }
}

bool CheckRun::retry(int attempt, BoardConnection* psb_connection, BoardConnection* drvb_connection,
                     BoardRead& psb_read, BoardRead& drvb_read) {
  bool again[3] = {};  // psb, drvb, parameters
  for (const Item& item : judge_.items()) {
    if (!judged_again(item)) continue;
    const ItemSource source = find_rule(judge_.rules(), item.name).source;
    again[0] = again[0] || (source == ItemSource::kPsb && psb_connection != nullptr);
    again[1] = again[1] || (source == ItemSource::kDrvb && drvb_connection != nullptr);
    again[2] = again[2] || (source == ItemSource::kParameter && drvb_connection != nullptr);
  }
  if (!again[0] && !again[1] && !again[2]) return false;
  CheckJudge later(judge_.rules());
  if (again[0]) later.psb(psb_read = poll(*psb_connection, Board::kPsb));
  if (again[1]) later.drvb(drvb_read = poll(*drvb_connection, Board::kDrvb));
  if (again[2]) read_parameters(*drvb_connection, later);
  judge_.judged_again(std::move(later), attempt);
  return true;
}

int CheckRun::drive(BoardConnection& connection) {
  const std::size_t from = judge_.items().size();
  const auto start = Clock::now();
  const int stop = drive_test(connection);
  judge_.timed(from, seconds_since(start), utc_now());
  return stop;
}

int CheckRun::drive_test(BoardConnection& connection) {
  if (const int sig = wait_for_stop(Clock::now()); sig != 0) {
    judge_.drive_not_measured(std::string("not driven: ") + stop_signal_name(sig), reason::kStopped);
    return sig;
  }
  if (const std::string blocked = judge_.drive_blocked(args_.test.speed_mm_s); !blocked.empty()) {
    judge_.drive_not_measured("not driven: " + blocked, reason::kNotDriven);
    return 0;
  }
  int before[2] = {}, after[2] = {};
  if (const Result r = drvb::read_encoder(connection, &before[0], &before[1]); !r.is_ok()) {
    judge_.drive_not_measured("read encoders failed: " + describe(r), failure_row(r.failure).reason);
    return 0;
  }
  if (const Result r = drvb::set_servo(connection, 1); !r.is_ok()) {
    judge_.drive_not_measured("switch the servo on failed: " + describe(r), failure_row(r.failure).reason);
    return 0;
  }
  const DriveRun run =
      drive_for(connection, args_.test.speed_mm_s, args_.test.speed_mm_s, args_.test.seconds);
  // The drive board does not say whether its servo was on: it is left off.
  const Result servo_off = drvb::set_servo(connection, 0);
  const Result read = drvb::read_encoder(connection, &after[0], &after[1]);
  std::string why;
  std::string reason;
  if (!run.stop.is_ok()) {
    why = "the stop (0,0) failed: " + describe(run.stop);
    reason = failure_row(run.stop.failure).reason;
  } else if (run.stop_request != 0 || run.stop_reason != nullptr || !run.failure.is_ok()) {
    why = "stopped: " + run.ended;
    reason = run.stop_reason != nullptr ? run.stop_reason
             : run.failure.is_ok()      ? reason::kStopped
                                        : failure_row(run.failure.failure).reason;
  } else if (!servo_off.is_ok()) {
    why = "switch the servo off failed: " + describe(servo_off);
    reason = failure_row(servo_off.failure).reason;
  } else if (!read.is_ok()) {
    why = "read encoders failed: " + describe(read);
    reason = failure_row(read.failure).reason;
  }
  if (!why.empty())
    judge_.drive_not_measured(why, reason);
  else
    judge_.drive_counts(drvb::count_delta(before[0], after[0]), drvb::count_delta(before[1], after[1]));
  return run.stop_request > 0 ? run.stop_request : 0;
}

void CheckRun::unopened(const std::optional<CommandError> (&failed)[2]) {
  std::string first[2];  // the item of each board that gives the port's reason
  const std::size_t from = judge_.items().size();
  for (const ItemRule& rule : judge_.rules()) {
    const int board = needs_drvb(rule.source) ? 1 : 0;
    const std::optional<CommandError>& e = failed[board];
    if (!e || (rule.source == ItemSource::kDrive && !args_.drive)) continue;
    if (rule.kind == ItemKind::kPress && !args_.interactive) continue;  // SKIP either way
    const std::string why = "the port " + e->port + " did not open";
    judge_.add(not_measured(
        rule, first[board].empty() ? why + ": " + e->detail : why + " (see " + first[board] + ")",
        e->reason));
    if (first[board].empty()) first[board] = rule.name;
  }
  judge_.timed(from, 0, utc_now());
}

std::vector<Item> CheckRun::take_items() {
  std::vector<Item> items = judge_.take_items();
  std::vector<Item> out;
  for (const ItemRule& rule : judge_.rules()) {
    if (rule.source == ItemSource::kDrive && !args_.drive) continue;
    auto item = std::find_if(items.begin(), items.end(), [&](const Item& i) { return i.name == rule.name; });
    if (item != items.end())
      out.push_back(std::move(*item));
    else if (stop_ > 0)
      out.push_back(not_measured(rule, std::string("not measured: aborted by ") + stop_signal_name(stop_),
                                 reason::kStopped));
  }
  return out;
}

// Reads the switch of rule until it reads `pressed`, the prompt's time is
// up or a stop request comes; `read_once` tells whether any read succeeded.
CheckRun::Seen CheckRun::wait_for(BoardConnection& connection, const ItemRule& rule, bool pressed,
                                  Result& failure, bool& read_once) {
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(args_.prompt_s));
  for (;;) {
    int left = 0, right = 0, emergency = 0;
    const Result r = drvb::read_bumper_emg(connection, &left, &right, &emergency);
    if (r.is_ok()) {
      read_once = true;
      const int state = rule.name == "bumper_left_press"    ? left
                        : rule.name == "bumper_right_press" ? right
                                                            : emergency;
      if ((state != 0) == pressed) return Seen::kShown;
    } else {
      failure = r;
    }
    const auto now = Clock::now();
    if (now >= deadline) return Seen::kTimeUp;
    if (const int sig = wait_for_stop(std::min(now + kPressPoll, deadline)); sig > 0) {
      stop_ = sig;
      return Seen::kStopped;
    }
  }
}

// Asks the operator to press the switch, then to release it; the board
// must show both in time.
void CheckRun::press(BoardConnection& connection, const ItemRule& rule) {
  const std::string within = " (within " + seconds_text(args_.prompt_s) + ")";
  Result failure;
  bool read_once = false;
  tell_operator(rule.prompt + within);
  Seen seen = wait_for(connection, rule, true, failure, read_once);
  if (seen == Seen::kStopped) return;
  if (seen == Seen::kShown) {
    tell_operator("Release it" + within);
    seen = wait_for(connection, rule, false, failure, read_once);
    if (seen == Seen::kStopped) return;
    if (seen == Seen::kShown)
      judge_.add(judge_press(rule, kPressedAndReleased, ""));
    else
      judge_.add(judge_press(rule, "pressed", "not released within " + seconds_text(args_.prompt_s)));
    return;
  }
  if (!read_once)
    judge_.add(failed_step(rule, "read bumpers", failure));
  else
    judge_.add(judge_press(rule, "released", "not pressed within " + seconds_text(args_.prompt_s)));
}

}  // namespace tavik::cli
