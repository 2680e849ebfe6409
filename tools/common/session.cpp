#include "session.h"

#include <system_error>

#include "serial/names/port_map.h"
#include "serial/names/port_path.h"
#include "serial/names/port_url.h"
#include "serial/ports/port_list.h"
#include "serial/transport/serial_port.h"
#ifdef TAVIK_SIMULATOR
#include "sim/models/world.h"
#include "sim/simulated_boards.h"
#else
namespace tavik::sim {
class SimulatedBoards {};  // no simulator here: Session::boards_ stays empty
}  // namespace tavik::sim
#endif

namespace tavik::cli {

std::string open_failure_text(const std::string& port_name, const Result& why) {
  // A name the libraries refuse: what is wrong with it.
  if (const std::string problem = port_name_problem(port_name.c_str());
      why.failure == Failure::kBadArgument && !problem.empty())
    return std::string(failure_name(why.failure)) + ": " + problem;
  // A network port, named or through the ports file: the library's reason
  // and the address.
  std::string target = mapped_port(port_name);
  if (target.empty() && is_port_url(port_name)) target = port_name;
  if (!target.empty()) return describe(why) + " (" + target + ")";
  const std::string path = resolve_port_path(port_name.c_str());
  std::string text = failure_name(why.failure);
  switch (why.failure) {
    case Failure::kPortBusy: {
      const std::string holder = port_holder(path);
      text += holder.empty() ? ": another program has it open (the system does not say which)"
                             : ": held by " + holder;
      break;
    }
    case Failure::kNoPermission:
      text += " (" + path + "; " + permission_advice(path) + ")";
      break;
    case Failure::kOpenFailed:
      text +=
          " (" + path + (why.os_error != 0 ? ": " + std::system_category().message(why.os_error) : "") + ")";
      break;
    default:
      text += " (" + (path.empty() ? "no device by that name" : path) + ")";
      break;
  }
  const std::string hint = port_lookup_hint(port_name.c_str(), why.failure);
  if (!hint.empty()) text += "; " + hint;
  if (!hint.empty() || (why.failure == Failure::kMissing && com_number(port_name) >= 0))
    text += "; 'tavik ports' lists the ports found";
  return text;
}

std::string CommandError::message() const {
  if (step.empty()) return detail;
  if (!board) return step + " failed: " + detail;
  return step + " on the " + board_label(*board) + " at " + port + " failed: " + detail;
}

std::string describe(Result result) {
  std::string text = failure_name(result.failure);
  if (result.failure == Failure::kRefused)
    text += " (status '" + std::string(1, static_cast<char>(result.status)) + "')";
  // A local port's holder is named at its open; a network port's server
  // says only that another client has the line.
  if (result.failure == Failure::kPortBusy) text += ": another client holds the network port";
  return text;
}

Session::Session(const GlobalOptions& options) : options_(options) {
  if (!options_.simulate) return;
#ifndef TAVIK_SIMULATOR
  throw CommandError::usage("--simulate needs the board simulator, which runs on pseudo-terminals (Linux)");
#else
  // The simulated boards appear under the names asked for when these are
  // COM names, so that every name rule of the libraries still applies.
  if (com_number(options_.psb) < 0) options_.psb = kDefaultPsbPort;
  if (com_number(options_.drvb) < 0 || options_.drvb == options_.psb)
    options_.drvb = options_.psb == kDefaultDrvbPort ? "COM9" : kDefaultDrvbPort;
  boards_ = std::make_unique<sim::SimulatedBoards>(options_.psb, options_.drvb);
#endif
}

Session::~Session() {
  connection_close(psb_);
  connection_close(drvb_);
}

BoardConnection& Session::open(Board board) {
  BoardConnection& connection = board == Board::kPsb ? psb_ : drvb_;
  if (Result why; connection_open(connection, port(board).c_str(), options_.timeout_ms, &why) != 0) {
    // Every open that fails is a port that could not be opened, also one
    // refused for its name.
    throw CommandError(kExitOpenFailed, failure_row(why.failure).reason, "open", board, port(board),
                       open_failure_text(port(board), why), why);
  }
  return connection;
}

void Session::check(Result result, const std::string& step, Board board) const {
  if (!result.is_ok())
    throw CommandError(failure_row(result.failure).exit_status, failure_row(result.failure).reason, step,
                       board, port(board), describe(result), result);
}

std::optional<double> Session::wheel_separation_mm(std::optional<double> given) const {
  if (given) return given;
#ifdef TAVIK_SIMULATOR
  if (options_.simulate) return sim::kWheelBaseMm;
#endif
  return std::nullopt;
}

}  // namespace tavik::cli
