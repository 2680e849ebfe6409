// One board's connection inside a library: the open port (or none) and the
// lock that serialises every exchange on it. Opening, closing and every
// command take the lock, so closing waits for a command in progress and a
// command never sees a port that is being freed.
//
// Opening and closing first announce themselves in `pending` and count
// themselves in `generation`; a command that was already waiting for the
// lock then gives up when it gets it, and one that arrives later gives up at
// once, so a close waits for the exchange in progress only, not for every
// caller queued behind it or arriving after it.
//
// A lost device (pulled, hung up) is closed as soon as an exchange finds it
// gone, so that the device can come back under its old name; the port keeps
// its name and time-out. A later command first opens the name again,
// resolved afresh, at most once every kReopenInterval; when that fails, the
// command fails at once as device lost. Only the port is reopened: a
// command's exchange is never repeated.
//
// The lock serves motion first (line_lock.h). A velocity other than 0,0 that
// was waiting for the line when a stop was asked for is not sent after it:
// it fails as superseded.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "serial/exchange/exchange.h"
#include "serial/exchange/line_lock.h"
#include "serial/failures/command_result.h"
#include "serial/transport/serial_port.h"

namespace tavik {

inline constexpr std::chrono::milliseconds kReopenInterval{500};
// How many times a command that left the line to a velocity before it sent
// anything is begun again; the last time it goes whatever waits.
inline constexpr int kYieldTurns = 3;

struct BoardConnection {
  explicit BoardConnection(const char* board_name = "board") : board(board_name) {}
  const char* const board;  // "psb", "drvb": the name in the wire trace
  LineLock lock;
  // Guarded by lock: null while closed; closed but kept while its device is lost.
  SerialPort* port = nullptr;
  std::chrono::steady_clock::time_point next_reopen{};  // guarded by lock
  LateReplyWindow late;                                 // since the last open
  MotionState motion;
  std::atomic<unsigned> generation{0};
  std::atomic<int> pending{0};  // opens and closes begun and not yet done
};

// Closes any open port, then opens port_name. 0 when a connection is open
// afterwards, -1 when none is, and then *why (when given) says why.
int connection_open(BoardConnection& connection, const char* port_name, int timeout_ms,
                    Result* why = nullptr);

// Closes the port if one is open.
void connection_close(BoardConnection& connection);

// Under the lock: makes sure the port of a lost device is open again, trying
// at most once every kReopenInterval. ok, or device lost.
Result reopen_if_lost(BoardConnection& connection);
// Under the lock, after a command: closes the port if its device is gone.
void end_command(BoardConnection& connection);

// Runs body(line) under the connection's lock and returns its result, or
// fails without running it: not open when no connection is open, interrupted when
// the connection is being opened or closed, or was while this call waited for
// the lock, device lost while the lost port cannot be opened again, or, for
// a moving velocity, superseded when a stop was asked for while it waited
// or was still on its way when it came. A
// device lost carries the system's error that told of it.
template <class Body>
Result with_connection(BoardConnection& connection, Body&& body, Motion motion = Motion::kNone) {
  // generation first: an open or close that this call does not see pending
  // has not counted itself yet, and the check under the lock catches it.
  const unsigned generation = connection.generation.load();
  if (connection.pending.load() != 0) return Failure::kInterrupted;
  if (motion == Motion::kStop) ++connection.motion.stops;
  const unsigned stops = connection.motion.stops.load();
  // A stop already asked for and not over: a moving velocity that comes to
  // the line meanwhile was decided before it (whoever drives asks for no
  // new one while its stop is on its way), and must not follow it.
  const bool stop_pending = stops != connection.motion.stops_ended.load();
  struct StopEnds {
    MotionState* motion;
    ~StopEnds() {
      if (motion != nullptr) ++motion->stops_ended;
    }
  } stop_ends{motion == Motion::kStop ? &connection.motion : nullptr};
  for (int turn = 1;; ++turn) {
    if (motion != Motion::kNone) ++connection.motion.waiting;
    LineLock::Guard guard(connection.lock,
                          motion == Motion::kNone ? LineLock::Turn::kOther : LineLock::Turn::kMotion);
    if (motion != Motion::kNone) --connection.motion.waiting;
    if (connection.generation.load() != generation) return Failure::kInterrupted;
    if (connection.port == nullptr) return Failure::kNotOpen;
    if (motion == Motion::kMove && (stop_pending || connection.motion.stops.load() != stops))
      return Failure::kSuperseded;
    Result result = reopen_if_lost(connection);
    Line line{connection.port, connection.late, connection.motion, stops};
    line.may_yield = motion == Motion::kNone && turn < kYieldTurns;
    if (result.is_ok()) result = body(line);
    // Left to a velocity with nothing sent: once more, after it.
    if (line.yielded) continue;
    // The one who drives sends again at once: the line is kept for it.
    if (motion != Motion::kNone && !result.is_ok() && result.failure != Failure::kSuperseded)
      connection.lock.owe_motion();
    if (result.failure == Failure::kDeviceLost) result.os_error = serial_port_os_error(connection.port);
    end_command(connection);
    return result;
  }
}

}  // namespace tavik
