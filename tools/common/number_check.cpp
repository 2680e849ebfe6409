#include "number_check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace tavik::cli {
namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

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

std::optional<double> read_decimal(const std::string& text, bool whole) {
  const std::size_t at = text.size() > 1 && text[0] == '-' ? 1 : 0;
  std::size_t digits = 0;
  bool point = false;
  for (std::size_t i = at; i < text.size(); ++i) {
    if (digit(text[i])) {
      ++digits;
    } else if (text[i] == '.' && !point && !whole) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  // The form is checked: strtod reads it as decimal (and "0500" as 500).
  return std::strtod(text.c_str(), nullptr);
}

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
