// The directory of tavik-sim's COM<n> links: the one --link-dir names, made
// with those above it where they are missing, or else a new private one.
// What it made is removed at its end, where the links were all it held.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tavik::sim {

class LinkDir {
 public:
  LinkDir() = default;
  LinkDir(const LinkDir&) = delete;
  LinkDir& operator=(const LinkDir&) = delete;
  ~LinkDir();

  // Takes dir (empty: a new private directory). 0, else the exit status
  // with why: 2 for a dir that is not a directory and cannot be made, 1
  // when no private directory could be made.
  int take(const std::string& dir, std::string& why);
  // The directory, absolute.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::filesystem::path> made_;  // outermost first
};

}  // namespace tavik::sim
