// tavik check's judging: the boards' readings, the drive parameters and the
// drive test's encoder counts judged against the rules, item by item in the
// order the report gives them; also whether the drive test may start, and
// which judgement of an item measured again (--retries) stands.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "check_items.h"
#include "link_figures.h"

namespace tavik::cli {

// A board's readings over the polls: each field from its last good read,
// and the failures of the steps that did not succeed in the last poll.
struct BoardRead {
  Json reading = Json::object();
  std::map<std::string, Result> failed;  // by step name
  LinkFigures figures;
  double seconds = 0;  // how long the polls took
  std::string ended;   // when they ended, UTC
};

// The item that could not be measured because step failed.
Item failed_step(const ItemRule& rule, const std::string& step, Result result);

// Whether an item is measured again with --retries: it failed or could not be measured.
bool judged_again(const Item& item);

class CheckJudge {
 public:
  explicit CheckJudge(Rules rules) : rules_(std::move(rules)) {}

  // The power & sensor board: its link, the battery, the current, the
  // ranges and the devices' states.
  void psb(const BoardRead& read);
  // The drive board: its link, the bumpers, the emergency stop and the wheel errors.
  void drvb(const BoardRead& read);
  // A drive parameter: value when result is ok.
  void parameter(const Parameter& parameter, const Result& result, int value);
  // Why the drive test at speed_mm_s may not start, or "" when it may: the
  // safety items must have passed and the speed be within the board's
  // maximum velocity.
  std::string drive_blocked(int speed_mm_s) const;
  // The drive test's two wheels: not measured (why, reason code) ...
  void drive_not_measured(const std::string& why, const std::string& reason);
  // ... or the encoder counts each wheel advanced.
  void drive_counts(int left, int right);

  // An item judged elsewhere: a press, a SKIP, a board's port that did not open.
  void add(Item item) { items_.push_back(std::move(item)); }
  // The items from the index `from` on were measured in `seconds`, ending at `ended` (UTC).
  void timed(std::size_t from, double seconds, const std::string& ended);
  // later's items, judged at attempt `attempt`, take the place of those of
  // the same name that failed or could not be measured; the others stay.
  void judged_again(CheckJudge later, int attempt);

  const Rules& rules() const { return rules_; }
  const std::vector<Item>& items() const { return items_; }
  std::vector<Item> take_items() { return std::move(items_); }

 private:
  void link(Board board, const BoardRead& read);
  void number(const std::string& name, const BoardRead& read, const char* pointer, const char* step,
              double scale);

  Rules rules_;
  std::vector<Item> items_;
  std::optional<int> max_velocity_;
};

}  // namespace tavik::cli
