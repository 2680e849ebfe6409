#include <string_view>

#include "serial/names/port_path.h"

namespace tavik {

std::string resolve_port_path(const char* name) {
  if (name == nullptr || name[0] == '\0') return {};
  std::string_view view(name);
  if (com_number(view) >= 0) return "\\\\.\\" + std::string(view);
  return std::string(view);
}

bool com_dir_set() { return false; }

std::string com_name_dir() { return ""; }

// COM names are the drivers' own: there is nothing more to say where one is.
std::string port_lookup_hint(const char*, Failure) { return ""; }

}  // namespace tavik
