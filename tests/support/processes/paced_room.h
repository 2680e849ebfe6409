// A bench's room: a private folder, the simulated boards' COM links in it
// where the programs the bench starts look for them (TAVIK_COM_DIR), and the
// simulator answering at the line rate.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "sim/simulator.h"

namespace tavik::test {

inline std::string make_private_dir(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  return ::mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

inline sim::SimulatorOptions paced_options(const std::string& dir) {
  const std::string com_dir = dir + "/com";
  ::mkdir(com_dir.c_str(), 0700);
  ::setenv("TAVIK_COM_DIR", com_dir.c_str(), 1);
  sim::SimulatorOptions options{com_dir};
  options.pace = true;
  return options;
}

struct PacedRoom {
  explicit PacedRoom(const char* prefix) : dir(make_private_dir(prefix)), sim(paced_options(dir)) {}
  std::string dir;
  sim::Simulator sim;
};

}  // namespace tavik::test
