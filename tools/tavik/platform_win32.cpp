// The bench tool on Windows: the console's control events as stop requests,
// the COM ports from the registry (and the DOS device names), CreateFile to
// tell a busy port from a missing one.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "options.h"
#include "output.h"
#include "platform.h"
#include "serial/port_path.h"

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

HANDLE stream_handle(Stream stream) {
  return ::GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool pipe_gone(DWORD error) { return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA; }

struct WriteJob {
  HANDLE handle;
  std::string text;
  DWORD error = 0;
  bool whole = false;
};

DWORD WINAPI write_all(void* argument) {
  auto* job = static_cast<WriteJob*>(argument);
  std::size_t sent = 0;
  while (sent < job->text.size()) {
    DWORD n = 0;
    if (!::WriteFile(job->handle, job->text.data() + sent, static_cast<DWORD>(job->text.size() - sent), &n,
                     nullptr)) {
      job->error = ::GetLastError();
      return 0;
    }
    sent += n;
  }
  job->whole = true;
  return 0;
}

// "COM3" for a COM name in any case ("com3" under Wine), else "".
std::string com_name(const char* text) {
  std::string name(text);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return com_number(name) >= 0 && name.rfind("COM", 0) == 0 ? name : std::string();
}

// The port's name for CreateFile: "\\.\COM12" (COM10 and above need it).
std::string device_path(const std::string& port) { return resolve_port_path(port.c_str()); }

std::string system_text(DWORD error) {
  char buffer[256] = {};
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                   0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text.empty() ? "error " + std::to_string(error) : text;
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

WriteResult write_bounded(Stream stream, const std::string& text, std::chrono::milliseconds bound) {
  const HANDLE handle = stream_handle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return {Written::kClosed, ""};
  if (text.empty()) return {Written::kWhole, ""};
  WriteJob job{handle, text};
  if (::GetFileType(handle) != FILE_TYPE_PIPE) {
    write_all(&job);
  } else {
    // A pipe's reader may stop reading: the write runs on a thread of its
    // own and is cancelled at the bound.
    const HANDLE writer = ::CreateThread(nullptr, 0, write_all, &job, 0, nullptr);
    if (writer == nullptr) return {Written::kTimedOut, ""};
    if (::WaitForSingleObject(writer, static_cast<DWORD>(bound.count())) == WAIT_TIMEOUT) {
      ::CancelSynchronousIo(writer);
      // The write uses job: it must have ended before this returns.
      ::WaitForSingleObject(writer, INFINITE);
    }
    ::CloseHandle(writer);
  }
  if (job.whole) return {Written::kWhole, ""};
  if (pipe_gone(job.error)) return {Written::kClosed, ""};
  // A write cancelled at the bound, or one that the system refused.
  if (job.error == 0 || job.error == ERROR_OPERATION_ABORTED) return {Written::kTimedOut, ""};
  return {Written::kFailed, system_text(job.error)};
}

bool output_hung_up() {
  // The write end of a pipe cannot be asked without writing: a reader that
  // went away shows at the next write.
  return false;
}

bool is_terminal(Stream stream) {
  const HANDLE handle = stream_handle(stream);
  DWORD mode = 0;
  if (!::GetConsoleMode(handle, &mode)) return false;
  // The in-place table uses the terminal's control sequences.
  return ::SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::vector<PortName> list_serial_ports() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    for (DWORD i = 0;; ++i) {
      char value[256] = {};
      DWORD value_size = sizeof value;
      char data[64] = {};
      DWORD data_size = sizeof data - 1;
      DWORD type = 0;
      const LONG r = ::RegEnumValueA(key, i, value, &value_size, nullptr, &type,
                                     reinterpret_cast<BYTE*>(data), &data_size);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r != ERROR_SUCCESS || type != REG_SZ) continue;
      if (const std::string name = com_name(data); !name.empty()) names.push_back(name);
    }
    ::RegCloseKey(key);
  }
  // The DOS device names hold the ports that no driver entered in the
  // registry (links made by hand, some virtual ports).
  std::string all(65536, '\0');
  const DWORD length = ::QueryDosDeviceA(nullptr, all.data(), static_cast<DWORD>(all.size()));
  for (std::size_t at = 0; at < length && all[at] != '\0'; at += std::strlen(all.c_str() + at) + 1) {
    if (const std::string name = com_name(all.c_str() + at); !name.empty()) names.push_back(name);
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return com_number(a) < com_number(b); });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  std::vector<PortName> ports;
  for (const std::string& name : names) ports.push_back({name, name, std::nullopt});
  return ports;
}

std::string not_probed(const std::string&) { return ""; }

// Windows has no udev; its COM numbers are the drivers' to give.
std::string udev_line(const UsbAdapter&, Board) { return ""; }

bool port_busy(const std::string& device) {
  // The ports are opened exclusively: another program's open is refused.
  const HANDLE handle = ::CreateFileA(device_path(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    ::CloseHandle(handle);
    return false;
  }
  const DWORD error = ::GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY;
}

// Windows does not say which program holds a COM port.
std::string port_holder(const std::string&) { return ""; }

OpenFailure open_failure(const std::string& port_name) {
  const std::string path = device_path(port_name);
  if (path.empty()) return {reason::kNoSuchPort, "no such port"};
  const HANDLE handle =
      ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    ::CloseHandle(handle);
    return {reason::kOpenFailed, "cannot be opened (" + path + ")"};
  }
  const DWORD error = ::GetLastError();
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return {reason::kPortMissing, "missing (" + path + "); 'tavik ports' lists the ports found"};
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return {reason::kPortBusy, "busy: another program has it open (Windows does not say which)"};
    default:
      return {reason::kOpenFailed, system_text(error) + " (" + path + ")"};
  }
}

}  // namespace tavik::cli
