#include <sys/stat.h>

#include <cstdlib>
#include <string_view>

#include "serial/names/port_path.h"
#include "serial/names/port_url.h"

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

bool com_dir_set() {
  const char* dir = std::getenv("TAVIK_COM_DIR");
  return dir != nullptr && dir[0] != '\0';
}

std::string com_name_dir() { return com_dir_set() ? std::getenv("TAVIK_COM_DIR") : kComLinkDir; }

std::string resolve_port_path(const char* name) {
  if (name == nullptr || name[0] == '\0') return {};
  std::string_view view(name);
  if (view.front() == '/' || is_port_url(view)) return std::string(view);

  long n = com_number(view);
  if (n >= 0) {
    std::string linked = com_name_dir() + "/" + std::string(view);
    if (com_dir_set() || exists(linked)) return linked;
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
    return {};
  }
  if (has_parent_reference(view)) return {};
  return "/dev/" + std::string(view);
}

std::string port_lookup_hint(const char* name, Failure why) {
  const std::string_view view(name != nullptr ? name : "");
  if (com_number(view) < 0 || why == Failure::kPortBusy) return "";
  const std::string com(view);
  const std::string linked = std::string(kComLinkDir) + "/" + com;
  const std::string path = resolve_port_path(name);
  if (!com_dir_set() && path != linked) {
    // Neither a simulator's folder nor the udev rule's link: the name fell
    // back to the on-board serial ports.
    return com + " is looked for as $TAVIK_COM_DIR/" + com +
           " when TAVIK_COM_DIR is set (tavik-sim prints it), else as " + linked +
           " (made by the udev rule 99-tavik-com.rules for the boards' USB adapters), else as " +
           (path.empty() ? std::string("/dev/ttyS<n-1>") : path);
  }
  if (com_dir_set() && why == Failure::kMissing)
    return "TAVIK_COM_DIR is set, so " + com + " is looked for there only";
  return "";
}

}  // namespace tavik
