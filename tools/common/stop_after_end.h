// What a program's service runs once the program ended, however it ended
// (--send-stop of the bridge and the ROS 2 node): the stop (0,0) to the
// drive board, nothing else, and a record that it was sent.
#pragma once

#include "output.h"
#include "session.h"

namespace tavik::cli {

// Returns kExitOk; throws CommandError when the port does not open (exit 3)
// or the stop is not answered (exit 1).
int send_stop_after(Session& session, Output& out);

}  // namespace tavik::cli
