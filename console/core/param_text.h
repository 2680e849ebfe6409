// The text of the "Write Param Value" field as a parameter value.
#pragma once

#include <optional>
#include <string_view>

namespace tavik::console {

// A whole number as the tool reads one (facts/number_text.h), in the range
// of int, with optional blanks around it ("500", " -5 ", "0500"); nothing
// for any other text ("", "abc", "500abc", "5 0", "+7", "99999999999").
std::optional<int> parse_param_value(std::string_view text);

}  // namespace tavik::console
