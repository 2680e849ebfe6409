// The process: its standard streams kept, its environment, and the stop
// requests (signals, console events) as events. process_posix.cpp or
// process_win32.cpp implements it.
#pragma once

#include <chrono>
#include <string>

namespace tavik::cli {

// With a standard stream closed, the first port opened could take its place
// and output would go to the board: the stream gets the null device instead.
void keep_standard_streams();

// Takes the stop requests as events from now on, in this thread and the
// threads it starts later; main calls it before anything starts a thread.
// POSIX: Ctrl-C (SIGINT), SIGTERM and SIGHUP, blocked and read by
// wait_for_stop; SIGPIPE is blocked too, so a closed output fails a write.
// Windows: Ctrl-C, Ctrl-Break and the console window closing, logging off or
// shutting down, taken by a console control handler.
void block_stop_signals();

void set_environment(const char* name, const char* value);

// This machine's name as the system gives it ("bench-3"), or "".
std::string host_name();

// wait_for_stop's answer when standard output went away.
inline constexpr int kOutputClosed = -1;

// Waits until `until` or a stop request, whichever comes first. Returns the
// request's number, kOutputClosed, or 0 when the time came. A request once
// taken is the answer of every later wait, in every thread (a thread that
// drives and one that polls both end on one Ctrl-C).
int wait_for_stop(std::chrono::steady_clock::time_point until);

// Whether a stop request came, taken by wait_for_stop or not yet: for a
// thread of its own that must not begin what the request is to end while
// the waiting thread is busy elsewhere.
bool stop_requested();

// "SIGINT", "SIGTERM", "SIGHUP" (POSIX); "CTRL_C_EVENT", "CTRL_BREAK_EVENT",
// "CTRL_CLOSE_EVENT", ... (Windows); "output closed".
const char* stop_signal_name(int request);

// The exit status of a command that a stop request ended, as a shell gives
// a program that a signal ended: 128 + its number (130 after Ctrl-C). A
// reader that went away ends a command quietly: 0.
inline int stop_exit_code(int request) { return request > 0 ? 128 + request : 0; }

}  // namespace tavik::cli
