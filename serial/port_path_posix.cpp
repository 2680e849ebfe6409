#include <sys/stat.h>

#include <cstdlib>
#include <string_view>

#include "serial/port_path.h"

namespace tavik {
namespace {

bool has_parent_reference(std::string_view name) {
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string resolve_port_path(const char* name) {
  if (name == nullptr || name[0] == '\0') return {};
  std::string_view view(name);
  if (view.front() == '/') return std::string(view);

  long n = com_number(view);
  if (n >= 0) {
    const char* dir = std::getenv("TAVIK_COM_DIR");
    if (dir != nullptr && dir[0] != '\0') return std::string(dir) + "/" + std::string(view);
    std::string linked = std::string(kComLinkDir) + "/" + std::string(view);
    if (exists(linked)) return linked;
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
    return {};
  }
  if (has_parent_reference(view)) return {};
  return "/dev/" + std::string(view);
}

}  // namespace tavik
