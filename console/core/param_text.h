// The text of the "Write Param Value" field as a parameter value.
#pragma once

#include <optional>
#include <string_view>

namespace tavik::console {

// A whole decimal number in the range of int, with an optional sign and
// optional blanks around it ("500", " -5 ", "+7"); nothing for any other
// text ("", "abc", "500abc", "5 0", "99999999999").
std::optional<int> parse_param_value(std::string_view text);

}  // namespace tavik::console
