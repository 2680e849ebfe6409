// The items tavik check judges, in the order it reports them: their units,
// their default limits, what a limits file may change of them, and the
// judgement of a value against them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "facts/drvb_facts.h"
#include "output.h"
#include "parameters.h"

namespace tavik::cli {

inline constexpr const char* kPass = "PASS";
inline constexpr const char* kFail = "FAIL";
inline constexpr const char* kError = "ERROR";
inline constexpr const char* kSkip = "SKIP";  // not judged: it needs a person, or the run was aborted

// The drive of check --drive, and the counts it should give.
struct DriveTest {
  int speed_mm_s = 100;
  double seconds = 1.0;
  static constexpr double kTolerance = 0.1;  // of the expected counts, either way
  double expected_counts() const { return speed_mm_s * seconds * drvb::kEncoderCountsPerMm; }
};

struct Limit {
  std::optional<double> low;  // bounds included
  std::optional<double> high;
  std::optional<std::string> expected;  // a state item's expected state
  // Inside low..high but outside marginal_low..marginal_high passes, marked
  // marginal: a robot close to failing.
  std::optional<double> marginal_low;
  std::optional<double> marginal_high;
};

enum class ItemKind {
  kMeasure,  // a number against low and high
  kState,    // a word ("on", "off") against an expected one, when one is given
  kFixed,    // a safety state whose expectation no limits file changes
  kPress,    // a switch a person presses and releases when asked (--interactive)
};

// What an item is read from: which board's port it needs, and whether a
// failed one is measured again (--retries).
enum class ItemSource {
  kPsb,        // the power & sensor board's readings
  kDrvb,       // the drive board's readings
  kParameter,  // a drive parameter read
  kPress,      // a person's press, seen on the drive board
  kDrive,      // the drive of --drive
};

struct ItemRule {
  std::string name;
  ItemKind kind = ItemKind::kMeasure;
  std::string unit;
  Limit limit;
  std::vector<std::string> states;       // kState: the words it can read
  const Parameter* parameter = nullptr;  // a drive parameter: "expected" sets both bounds
  bool never_negative = false;           // a round trip, a distance: a limits file's bound too
  ItemSource source = ItemSource::kPsb;
  const char* prompt = nullptr;  // kPress: what the operator is asked to do
};

using Rules = std::vector<ItemRule>;

Rules default_rules(const DriveTest& drive);

// Applies a limits file, a JSON object keyed by item name, to rules. Throws
// a usage error naming the file and the first unknown item or bad limit.
// Returns the file's bytes as read, for the record's hash of them.
std::string apply_limits_file(Rules& rules, const std::string& path);

const ItemRule& find_rule(const Rules& rules, const std::string& name);

// One judged item.
struct Item {
  std::string name;
  Json value;  // null when it could not be measured
  std::string unit;
  Limit limit;
  std::string outcome;    // kPass, kFail or kError
  std::string message;    // why it failed, or why it could not be measured
  std::string reason;     // ERROR: the failure's code ("no-reply")
  int attempts = 1;       // how often it was measured (--retries)
  bool marginal = false;  // PASS, outside the marginal limits
  // The seconds its measuring took, every attempt's together (the reads it
  // shares with the items read with it: a board's poll, a drive), and when
  // the reads of the attempt that stands ended (UTC, "" for a SKIP).
  double seconds = 0;
  std::string measured;
  // The attempts before the one that stands (--retries), oldest first.
  struct Earlier {
    Json value;
    std::string outcome;
    std::string message;
  };
  std::vector<Earlier> earlier;
};

Item judge_number(const ItemRule& rule, double value);
Item judge_state(const ItemRule& rule, const std::string& state);
// value against the one state it must have.
Item judge_fixed(const ItemRule& rule, const std::string& value, const std::string& expected);
// Could not be measured: why, and the code of the failure.
Item not_measured(const ItemRule& rule, const std::string& why, const std::string& reason);
// Not judged, and why.
Item skipped(const ItemRule& rule, const std::string& why);
// A press item: what the board showed ("pressed, released", "released",
// "pressed") and, when it did not show both, why.
Item judge_press(const ItemRule& rule, const std::string& seen, const std::string& why);
inline constexpr const char* kPressedAndReleased = "pressed, released";

// "12.6", "0.05", "500": a value as the report shows it.
std::string number_text(double value);
// "11.5 to 14.4 V", "at most 20 ms", "on", "": the limits as the report shows them.
std::string limit_text(const Limit& limit, const std::string& unit);

}  // namespace tavik::cli
