// A HOME of its own for the life of the object, whose ~/.config/tavik/ports
// holds the given text: what a user's ports file does to a program run
// under it. HOME is restored afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace tavik::test {

class PortsFileHome {
 public:
  explicit PortsFileHome(const std::string& text) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavik-home-XXXXXX").string();
    home_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
    std::filesystem::create_directories(home_ + "/.config/tavik");
    std::ofstream(file()) << text;
    if (const char* saved = std::getenv("HOME")) saved_ = saved;
    ::setenv("HOME", home_.c_str(), 1);
  }
  ~PortsFileHome() {
    if (saved_)
      ::setenv("HOME", saved_->c_str(), 1);
    else
      ::unsetenv("HOME");
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
  }
  PortsFileHome(const PortsFileHome&) = delete;
  PortsFileHome& operator=(const PortsFileHome&) = delete;

  std::string file() const { return home_ + "/.config/tavik/ports"; }

 private:
  std::string home_;
  std::optional<std::string> saved_;
};

}  // namespace tavik::test
