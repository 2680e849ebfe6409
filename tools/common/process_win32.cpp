// The process on Windows: the console's control events as stop requests.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "output.h"
#include "process.h"

namespace tavik::cli {
namespace {

// Stop requests by the numbers the C runtime and POSIX give them, so that
// the tool reports them as it does on Linux.
constexpr int kHangUp = 1;      // the console window closed
constexpr int kInterrupt = 2;   // Ctrl-C
constexpr int kTerminate = 15;  // logging off, shutting down
constexpr int kBreak = 21;      // Ctrl-Break

// The system ends the process once the handler of a close, logoff or
// shutdown event returns (after at most 5 s for a close): the handler holds
// it this long, so that a loop that drives the robot sends its stop first.
constexpr auto kEndGrace = std::chrono::milliseconds(3000);

std::mutex g_stop_lock;
std::condition_variable g_stop_wake;
int g_stop_request = 0;

BOOL WINAPI on_console_event(DWORD event) {
  int request = 0;
  switch (event) {
    case CTRL_C_EVENT:
      request = kInterrupt;
      break;
    case CTRL_BREAK_EVENT:
      request = kBreak;
      break;
    case CTRL_CLOSE_EVENT:
      request = kHangUp;
      break;
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      request = kTerminate;
      break;
    default:
      return FALSE;
  }
  {
    std::lock_guard<std::mutex> guard(g_stop_lock);
    if (g_stop_request == 0) g_stop_request = request;
  }
  g_stop_wake.notify_all();
  if (request != kInterrupt && request != kBreak) {
    // Main returning ends the process, and this wait with it.
    std::unique_lock<std::mutex> lock(g_stop_lock);
    g_stop_wake.wait_for(lock, kEndGrace, [] { return false; });
  }
  return TRUE;
}

}  // namespace

void keep_standard_streams() {
  // Nothing to do: a port opened here gets a handle, never the place of a
  // closed standard stream, and writes to a missing stream fail harmlessly.
}

void block_stop_signals() { ::SetConsoleCtrlHandler(on_console_event, TRUE); }

void set_environment(const char* name, const char* value) { ::_putenv_s(name, value); }

std::string host_name() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return ::GetComputerNameA(name, &size) ? std::string(name, size) : "";
}

int wait_for_stop(std::chrono::steady_clock::time_point until) {
  if (watch_output_closed()) return kOutputClosed;
  std::unique_lock<std::mutex> lock(g_stop_lock);
  g_stop_wake.wait_until(lock, until, [] { return g_stop_request != 0; });
  return g_stop_request;
}

bool stop_requested() {
  std::lock_guard<std::mutex> guard(g_stop_lock);
  return g_stop_request != 0;
}

const char* stop_signal_name(int request) {
  switch (request) {
    case kInterrupt:
      return "SIGINT";
    case kBreak:
      return "SIGBREAK";
    case kHangUp:
      return "SIGHUP";
    case kTerminate:
      return "SIGTERM";
    case kOutputClosed:
      return "output closed";
  }
  return "signal";
}

}  // namespace tavik::cli
