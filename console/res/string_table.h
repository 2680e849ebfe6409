// The program's string table.
#pragma once

#include <string_view>

namespace tavik::console {

// The string with resource ID `id` (UTF-8), or an empty view when there is none.
std::string_view load_string(int id);

}  // namespace tavik::console
