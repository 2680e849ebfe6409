// tavik-sim's command lines: read from the standard input and, when there is
// one, from the control line (--control), each run on the simulator and
// answered where it came from.
#pragma once

#include <string>

#include "sim/line/pty_endpoint.h"
#include "sim/simulator.h"

namespace tavik::sim {

// Writes an answer to the standard output, ending it with a newline.
void say(const std::string& text);

// Reads command lines until the standard input ends or a signal arrives on
// signal_fd. While its terminal's foreground is another program's
// (`tavik-sim &`), the standard input is left alone and looked at again
// every quarter of a second; the control line is served meanwhile.
void serve_input(Simulator& sim, int signal_fd, const PtyEndpoint* control);

}  // namespace tavik::sim
