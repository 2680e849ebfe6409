// Numbers as people type them to the programs, read alike by the tool's
// options and arguments and the console's Write Param Value: decimal digits
// with an optional leading minus sign and, where a fraction is allowed, one
// decimal point. A leading 0 means nothing ("0500" is 500); "+5", "0x1F4",
// "1e3", "5s" and " 5" are not numbers.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace tavik {

// The number text spells (a whole one when whole), bounds aside; nothing
// when it is not written as a decimal number.
inline std::optional<double> read_decimal(std::string_view text, bool whole) {
  const std::size_t at = text.size() > 1 && text[0] == '-' ? 1 : 0;
  std::size_t digits = 0;
  bool point = false;
  for (std::size_t i = at; i < text.size(); ++i) {
    if (text[i] >= '0' && text[i] <= '9') {
      ++digits;
    } else if (text[i] == '.' && !point && !whole) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  // The form is checked: strtod reads it as decimal (and "0500" as 500).
  return std::strtod(std::string(text).c_str(), nullptr);
}

}  // namespace tavik
