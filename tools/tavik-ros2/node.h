// The node: one robot on a ROS 2 graph, until a stop request.
#pragma once

#include "output.h"
#include "ros2_options.h"
#include "session.h"

namespace tavik::cli {

// Runs the node of args on session's boards (or, with --send-stop, only
// sends the drive board the stop); returns the exit code or throws
// CommandError.
int run_node(Session& session, Output& out, const Ros2Args& args);

}  // namespace tavik::cli
