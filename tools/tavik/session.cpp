#include "session.h"

#include "platform.h"
#include "serial/port_map.h"
#include "serial/port_path.h"
#include "serial/port_url.h"
#ifdef TAVIK_SIMULATOR
#include "sim/simulated_boards.h"
#else
namespace tavik::sim {
class SimulatedBoards {};  // no simulator here: Session::boards_ stays empty
}  // namespace tavik::sim
#endif

namespace tavik::cli {

const char* failure_code(Failure failure) {
  switch (failure) {
    case Failure::kNone:
      return "ok";
    case Failure::kNotOpen:
      return "not-open";
    case Failure::kNoReply:
      return "no-reply";
    case Failure::kBadCheck:
      return "bad-check-byte";
    case Failure::kRefused:
      return "refused";
    case Failure::kMalformed:
      return "malformed-reply";
    case Failure::kDeviceLost:
      return "device-lost";
    case Failure::kBadArgument:
      return "bad-argument";
    case Failure::kBusy:
      return "connection-busy";
    case Failure::kMissing:
      return reason::kPortMissing;
    case Failure::kPortBusy:
      return reason::kPortBusy;
    case Failure::kNotSerial:
      return reason::kNotSerial;
    case Failure::kNoPermission:
      return reason::kNoPermission;
    case Failure::kOpenFailed:
      return reason::kOpenFailed;
    case Failure::kUnexpected:
      return "unexpected-reply";
    case Failure::kConnectionRefused:
      return "connection-refused";
    case Failure::kHostNotFound:
      return "host-not-found";
    case Failure::kConnectionLost:
      return "connection-lost";
  }
  return "unknown";
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
  return text;
}

Session::Session(const GlobalOptions& options) : options_(options) {
  if (!options_.simulate) return;
#ifndef TAVIK_SIMULATOR
  throw CommandError::usage("--simulate needs the board simulator, which runs on pseudo-terminals (Linux)");
#else
  // The simulated boards appear under the names asked for when these are
  // COM names, so that every name rule of the libraries still applies.
  if (com_number(options_.psb) < 0) options_.psb = "COM7";
  if (com_number(options_.drvb) < 0 || options_.drvb == options_.psb)
    options_.drvb = options_.psb == "COM8" ? "COM9" : "COM8";
  boards_ = std::make_unique<sim::SimulatedBoards>(options_.psb, options_.drvb);
#endif
}

Session::~Session() {
  connection_close(psb_);
  connection_close(drvb_);
}

BoardConnection& Session::open(Board board) {
  BoardConnection& connection = board == Board::kPsb ? psb_ : drvb_;
  Failure why = Failure::kNone;
  if (connection_open(connection, port(board).c_str(), options_.timeout_ms, &why) != 0) {
    // A network port, named or through the ports file: the library's reason.
    std::string target = mapped_port(port(board));
    if (target.empty() && is_port_url(port(board))) target = port(board);
    if (!target.empty()) {
      throw CommandError(kExitOpenFailed, failure_code(why), "open", board, port(board),
                         std::string(failure_name(why)) + " (" + target + ")");
    }
    const OpenFailure failure = open_failure(port(board));
    throw CommandError(kExitOpenFailed, failure.reason, "open", board, port(board), failure.text);
  }
  return connection;
}

void Session::check(Result result, const std::string& step, Board board) const {
  if (!result.is_ok())
    throw CommandError(kExitCommandFailed, failure_code(result.failure), step, board, port(board),
                       describe(result), result);
}

}  // namespace tavik::cli
