// Numbers on the command line, read the same way by every option that takes
// one, as facts/number_text.h writes them: what is not written so ("0x1F4",
// "1e3", "+5", "5s") is a usage error that names the option and, where there
// is one, the allowed range: "--rate: '0' is not in the range 0.1 to 50
// polls per second".
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <type_traits>

#include "facts/number_text.h"

namespace tavik::cli {

using tavik::read_decimal;

struct NumberRule {
  std::optional<double> least;  // included unless least_excluded
  std::optional<double> most;   // included
  std::string unit;             // named with the range
  bool least_excluded = false;
  bool whole = false;  // set by add_number for an integer option
};

// Checks an option's text against rule and hands CLI11 the number in the
// one form its own conversion reads as decimal too (it reads "0500" as
// octal, "0x1F4" as hexadecimal).
CLI::Validator decimal_number(const NumberRule& rule);

// Adds the option `name` (a positional argument when name has no leading
// '-') that takes a number under rule.
template <class T>
CLI::Option* add_number(CLI::App& app, const std::string& name, T& value, const std::string& help,
                        NumberRule rule = {}) {
  rule.whole = std::is_integral_v<T>;
  return app.add_option(name, value, help)->transform(decimal_number(rule));
}

}  // namespace tavik::cli
