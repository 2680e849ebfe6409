// One reading of each board as JSON, shared by the status commands and watch.
#pragma once

#include <functional>

#include "output.h"
#include "recording/recording_csv.h"
#include "session.h"

namespace tavik::cli {

using recording::kPsbDevices;
using recording::kRangePlaces;

// A reading's outcome per step, so that watch can count the exchanges.
struct Step {
  const char* name;
  Result result;
  double round_trip_ms;
  // Its answer came with the step before, in one exchange: no exchange of its own.
  bool same_exchange = false;
};

// Power data and ranges; fields of a failed step are left out.
Json read_psb(BoardConnection& connection, std::vector<Step>& steps);
// Encoders, bumpers, emergency stop and wheel errors, the last three from
// one request (two steps: "read bumpers" and "read wheel errors", the second
// marked same_exchange); before_each runs before each of the two requests
// (the bridge lets its drive go first).
Json read_drvb(BoardConnection& connection, std::vector<Step>& steps,
               const std::function<void()>& before_each = {});

// Marks a reading with the steps that failed, by step name ("failed"), and
// a "reason": "device lost" when every failed step says so, else
// "step: why; ...".
void mark_failures(Json& reading, const std::vector<Step>& steps);

// {"board": "psb", "port": "COM7", "target": "/dev/tavik/COM7"}: the head
// of every record of a board, with what its port name led to (port_map.h).
Json board_header(const Session& session, Board board);

// The status commands: opens the board, reads it whole and prints the record;
// the first failed step ends the command.
int print_status(Session& session, Output& out, Board board);

}  // namespace tavik::cli
