// What differs between the operating systems, behind one seam: one file per
// OS implements it (platform_posix.cpp, platform_win32.cpp), as the serial
// port does.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "options.h"

namespace tavik::cli {

// --- the process ---------------------------------------------------------------

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

// --- stop requests -------------------------------------------------------------

// wait_for_stop's answer when standard output went away.
inline constexpr int kOutputClosed = -1;

// Waits until `until` or a stop request, whichever comes first. Returns the
// request's number, kOutputClosed, or 0 when the time came.
int wait_for_stop(std::chrono::steady_clock::time_point until);

// "SIGINT", "SIGTERM", "SIGHUP" (POSIX); "CTRL_C_EVENT", "CTRL_BREAK_EVENT",
// "CTRL_CLOSE_EVENT", ... (Windows); "output closed".
const char* stop_signal_name(int request);

// The exit status of a command that a stop request ended, as a shell gives
// a program that a signal ended: 128 + its number (130 after Ctrl-C). A
// reader that went away ends a command quietly: 0.
inline int stop_exit_code(int request) { return request > 0 ? 128 + request : 0; }

// --- standard output and error -------------------------------------------------

enum class Stream { kOut, kErr };
enum class Written { kWhole, kTimedOut, kClosed, kFailed };

struct WriteResult {
  Written written;
  std::string reason;  // for kFailed, the system's: "No space left on device"
};

// Writes text to the stream, waiting at most bound for room. kClosed when
// nothing reads the other end any more (a pipe's reader ended, a terminal
// hung up); kFailed when the system refused the write (a full disk, an I/O
// error of a file).
WriteResult write_bounded(Stream stream, const std::string& text, std::chrono::milliseconds bound);

// Looks once, without writing, whether standard output's reader went away.
bool output_hung_up();

bool is_terminal(Stream stream);

// --- serial ports --------------------------------------------------------------

// The USB adapter behind a port, as the system names it.
struct UsbAdapter {
  std::string vendor;   // "0403", the id in hex
  std::string product;  // "6001"
  std::string serial;   // "PSB00001"; "" when the adapter has none
};

struct PortName {
  std::string name;               // as the tool and the libraries take it
  std::string device;             // the device it leads to
  std::optional<UsbAdapter> usb;  // where the system tells
};

// The machine's serial ports, each under every name that leads to it.
std::vector<PortName> list_serial_ports();

// Why a listed device is not worth probing ("no device", "permission
// denied (...)"), or "".
std::string not_probed(const std::string& device);

// The line of the udev rule 99-tavik-com.rules that would publish the
// adapter under the board's COM name, as the rule's own line for that board
// with this adapter's ids; "" where there is no udev or the adapter has no
// serial number to tell it by.
std::string udev_line(const UsbAdapter& usb, Board board);

// True when another program holds the device, found out without
// disturbing it.
bool port_busy(const std::string& device);
// "process 812 (tavik-v1-basic)" for a program that holds the device, where
// the system tells; "" where it does not.
std::string port_holder(const std::string& device);

struct OpenFailure {
  const char* reason;  // a code of reason::, such as "port-missing"
  std::string text;    // "missing (/dev/ttyUSB3)", "busy: held by process 812 (tavik)", ...
};

// Why serial_port_create could not open port_name, with a hint where the
// system looks for a COM name it did not find.
OpenFailure open_failure(const std::string& port_name);

}  // namespace tavik::cli
