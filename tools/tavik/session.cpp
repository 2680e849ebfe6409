#include "session.h"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

#include "port_check.h"
#include "serial/port_path.h"
#include "sim/simulator.h"

namespace tavik::cli {
namespace {

std::string make_private_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavik-com-XXXXXX").string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  return name.data();
}

}  // namespace

std::string describe(Result result) {
  std::string text = failure_name(result.failure);
  if (result.failure == Failure::kRefused)
    text += " (status '" + std::string(1, static_cast<char>(result.status)) + "')";
  return text;
}

Session::Session(const GlobalOptions& options) : options_(options) {
  if (!options_.simulate) return;
  // The simulated boards appear under the names asked for when these are
  // COM names, so that every name rule of the libraries still applies.
  if (com_number(options_.psb) < 0) options_.psb = "COM7";
  if (com_number(options_.drvb) < 0 || options_.drvb == options_.psb)
    options_.drvb = options_.psb == "COM8" ? "COM9" : "COM8";
  com_dir_ = make_private_dir();
  try {
    if (::setenv("TAVIK_COM_DIR", com_dir_.c_str(), 1) != 0)
      throw std::system_error(errno, std::generic_category(), "setenv");
    sim::SimulatorOptions sim_options;
    sim_options.link_dir = com_dir_;
    sim_options.psb_name = options_.psb;
    sim_options.drvb_name = options_.drvb;
    sim_options.pace = true;
    simulator_ = std::make_unique<sim::Simulator>(sim_options);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove_all(com_dir_, ignored);
    throw;
  }
}

Session::~Session() {
  connection_close(psb_);
  connection_close(drvb_);
  simulator_.reset();
  if (!com_dir_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(com_dir_, ignored);
  }
}

BoardConnection& Session::open(Board board) {
  BoardConnection& connection = board == Board::kPsb ? psb_ : drvb_;
  if (connection_open(connection, port(board).c_str(), options_.timeout_ms) != 0) {
    throw CommandError(kExitOpenFailed, "open", board, port(board), open_failure_reason(port(board)));
  }
  return connection;
}

void Session::check(Result result, const std::string& step, Board board) const {
  if (!result.is_ok())
    throw CommandError(kExitCommandFailed, step, board, port(board), describe(result), result);
}

}  // namespace tavik::cli
