#include "link_dir.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tavik::sim {
namespace {

// Makes dir and those above it that are missing, noting each one made;
// false, with why, when dir is not a directory and cannot be made.
bool make_dirs(const std::string& dir, std::vector<std::filesystem::path>& made, std::string& why) {
  const std::filesystem::path path = std::filesystem::absolute(dir).lexically_normal();
  std::filesystem::path at;
  for (const auto& part : path) {
    at /= part;
    if (part.empty()) continue;  // the trailing separator of "dir/"
    struct stat st {};
    if (::stat(at.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) continue;
      why = at.string() + " is not a directory";
      return false;
    }
    if (errno == ENOENT && ::mkdir(at.c_str(), 0777) == 0) {
      made.push_back(at);
      continue;
    }
    if (errno == EEXIST && ::stat(at.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;  // made meanwhile
    why = "cannot make " + at.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

int LinkDir::take(const std::string& dir, std::string& why) {
  if (!dir.empty()) {
    if (!make_dirs(dir, made_, why)) return 2;
    path_ = std::filesystem::absolute(dir).string();
    return 0;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "tavik-sim.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    why = std::string("cannot make a link directory: ") + std::strerror(errno);
    return 1;
  }
  made_.push_back(pattern);
  path_ = pattern;
  return 0;
}

LinkDir::~LinkDir() {
  std::error_code ignored;
  for (auto dir = made_.rbegin(); dir != made_.rend(); ++dir) std::filesystem::remove(*dir, ignored);
}

}  // namespace tavik::sim
