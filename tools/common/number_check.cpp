#include "number_check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tavik::cli {
namespace {

// 0.1, 50, 2000: the shortest form of a bound.
std::string plain_number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, value == std::floor(value) ? "%.0f" : "%g", value);
  return text;
}

std::string range_text(const NumberRule& rule) {
  if (!rule.least && !rule.most) return "";
  std::string range;
  if (rule.least && rule.most)
    range = rule.least_excluded
                ? "above " + plain_number(*rule.least) + " and up to " + plain_number(*rule.most)
                : plain_number(*rule.least) + " to " + plain_number(*rule.most);
  else if (rule.least)
    range = (rule.least_excluded ? "above " : "from ") + plain_number(*rule.least);
  else
    range = "up to " + plain_number(*rule.most);
  return range + (rule.unit.empty() ? "" : " " + rule.unit);
}

}  // namespace

CLI::Validator decimal_number(const NumberRule& rule) {
  const std::string range = range_text(rule);
  return CLI::Validator(
      [rule, range](std::string& text) -> std::string {
        const std::optional<double> value = read_decimal(text, rule.whole);
        const bool fits_int = !rule.whole || (value && *value >= std::numeric_limits<int>::min() &&
                                              *value <= std::numeric_limits<int>::max());
        if (!value || !fits_int)
          return "'" + text + "' is not " + (rule.whole ? "a whole number" : "a number") +
                 (range.empty() ? " in decimal digits" : " in the range " + range);
        const bool above_least =
            !rule.least || (rule.least_excluded ? *value > *rule.least : *value >= *rule.least);
        const bool below_most = !rule.most || *value <= *rule.most;
        if (!above_least || !below_most) return "'" + text + "' is not in the range " + range;
        if (rule.whole) text = std::to_string(static_cast<long long>(*value));
        return "";
      },
      "", "decimal");
}

}  // namespace tavik::cli
