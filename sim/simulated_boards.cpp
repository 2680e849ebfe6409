#include "sim/simulated_boards.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace tavik::sim {
namespace {

std::string make_private_dir() {
  std::filesystem::path base = std::filesystem::temp_directory_path();
  std::string pattern = (base / "tavik-com-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  return name.data();
}

}  // namespace

SimulatedBoards::SimulatedBoards(const std::string& psb_name, const std::string& drvb_name)
    : com_dir_(make_private_dir()) {
  try {
    if (::setenv("TAVIK_COM_DIR", com_dir_.c_str(), 1) != 0) {
      throw std::system_error(errno, std::generic_category(), "setenv");
    }
    SimulatorOptions options;
    options.link_dir = com_dir_;
    options.psb_name = psb_name;
    options.drvb_name = drvb_name;
    options.pace = true;
    simulator_ = std::make_unique<Simulator>(options);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove_all(com_dir_, ignored);
    throw;
  }
}

SimulatedBoards::~SimulatedBoards() {
  simulator_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(com_dir_, ignored);
}

}  // namespace tavik::sim
