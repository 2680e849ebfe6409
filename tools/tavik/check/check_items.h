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
};

enum class ItemKind {
  kMeasure,  // a number against low and high
  kState,    // a word ("on", "off") against an expected one, when one is given
  kFixed,    // a safety state whose expectation no limits file changes
};

struct ItemRule {
  std::string name;
  ItemKind kind;
  std::string unit;
  Limit limit;
  std::vector<std::string> states;       // kState: the words it can read
  const Parameter* parameter = nullptr;  // a drive parameter: "expected" sets both bounds
  bool never_negative = false;           // a round trip, a distance: a limits file's bound too
};

using Rules = std::vector<ItemRule>;

Rules default_rules(const DriveTest& drive);

// Applies a limits file, a JSON object keyed by item name, to rules. Throws
// a usage error naming the file and the first unknown item or bad limit.
void apply_limits_file(Rules& rules, const std::string& path);

const ItemRule& find_rule(const Rules& rules, const std::string& name);

// One judged item.
struct Item {
  std::string name;
  Json value;  // null when it could not be measured
  std::string unit;
  Limit limit;
  std::string outcome;  // kPass, kFail or kError
  std::string message;  // why it failed, or why it could not be measured
  std::string reason;   // ERROR: the failure's code ("no-reply")
};

Item judge_number(const ItemRule& rule, double value);
Item judge_state(const ItemRule& rule, const std::string& state);
// value against the one state it must have.
Item judge_fixed(const ItemRule& rule, const std::string& value, const std::string& expected);
// Could not be measured: why, and the code of the failure.
Item not_measured(const ItemRule& rule, const std::string& why, const std::string& reason);

// "12.6", "0.05", "500": a value as the report shows it.
std::string number_text(double value);
// "11.5 to 14.4 V", "at most 20 ms", "on", "": the limits as the report shows them.
std::string limit_text(const Limit& limit, const std::string& unit);

}  // namespace tavik::cli
