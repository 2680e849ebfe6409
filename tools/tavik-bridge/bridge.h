// The bridge: one robot on an MQTT broker, until a stop request.
#pragma once

#include "bridge_options.h"
#include "output.h"
#include "session.h"

namespace tavik::cli {

// Runs the bridge of args on session's boards (or, with --send-stop, only
// sends the drive board the stop); returns the exit code or throws
// CommandError.
int run_bridge(Session& session, Output& out, const BridgeArgs& args);

}  // namespace tavik::cli
