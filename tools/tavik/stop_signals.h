// The requests to stop: Ctrl-C (SIGINT), SIGTERM, and SIGHUP when the
// terminal goes away. They are blocked in every thread and taken as events
// by the loops that wait, so a loop that drives the robot always gets to send
// its stop. SIGPIPE is blocked too: a closed output fails a write instead of
// ending the program, and the loops take standard output going away (the
// reader of a pipe ended, a terminal hung up) as a stop request as well.
#pragma once

#include <chrono>

namespace tavik::cli {

// Blocks the signals in the calling thread and the threads it starts later;
// main calls it before anything starts a thread.
void block_stop_signals();

// wait_for_stop's answer when standard output went away.
inline constexpr int kOutputClosed = -1;

// Waits until `until` or a stop request, whichever comes first. Returns the
// signal number, kOutputClosed, or 0 when the time came.
int wait_for_stop(std::chrono::steady_clock::time_point until);

// "SIGINT", "SIGTERM", "SIGHUP", "output closed".
const char* stop_signal_name(int signal_number);

}  // namespace tavik::cli
