// Win32 backend of SerialPort: the communications API with overlapped
// transfers. The device's own time-outs (10 ms between bytes, timeout_ms in
// total) end every read and write; each transfer waits for its completion
// signal before it returns, so at most one read and one write are in flight.
//
// Reads go through a read-ahead buffer: what the driver has queued is taken
// in one transfer, and only an empty queue costs a wait for the next byte.
// The reply readers read one byte per call, and a transfer with its wait
// costs far more than the copy of a byte (tens of microseconds under Wine).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "serial/names/port_path.h"
#include "serial/transport/device_transport.h"

namespace tavik {

struct DevicePort final : DeviceTransport {
  HANDLE device = INVALID_HANDLE_VALUE;
  HANDLE write_signal = nullptr;
  HANDLE read_signal = nullptr;
  OVERLAPPED write_completion = {};  // hEvent: the write signal, marked as below
  OVERLAPPED read_completion = {};
  int port_timeout_ms = 0;  // the port's time-out: each write's, and each read's for its first byte
  int read_total_ms = 0;    // the total read time-out the device has now
  ~DevicePort() override;
  void apply_timeouts(int ms) override;
  int write(const std::uint8_t* data, int count, int timeout_ms) override;
  int read(std::uint8_t* buffer, int count, int timeout_ms, int expect) override;
  int purge() override;
  int read_pending(std::uint8_t* buffer, int count) override;
};

namespace {

constexpr DWORD kQueueBytes = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// A transfer that the driver has not ended this long after the device's own
// time-out is cancelled: a hung driver must not hold a board's lock forever.
constexpr DWORD kDriverSlackMs = 1000;

void set_device_timeouts(HANDLE device, int read_total_ms, int write_total_ms) {
  COMMTIMEOUTS t = {};
  t.ReadIntervalTimeout = static_cast<DWORD>(kReadGapMs);
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = static_cast<DWORD>(read_total_ms);
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = static_cast<DWORD>(write_total_ms);
  ::SetCommTimeouts(device, &t);
}

// Gives reads the total time-out ms from now on (a read constant of 0 would
// switch the total time-out off, so it is at least 1 ms).
void set_read_total(DevicePort* os, int ms) {
  ms = std::max(ms, 1);
  if (ms == os->read_total_ms) return;
  os->read_total_ms = ms;
  set_device_timeouts(os->device, ms, os->port_timeout_ms);
}

void apply_line_settings(HANDLE device, const SerialPort& port) {
  DCB dcb;
  std::memset(&dcb, 0, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = static_cast<DWORD>(port.baud_rate);
  dcb.fBinary = TRUE;
  dcb.fParity = port.parity != 0 ? TRUE : FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.ByteSize = port.data_bits;
  dcb.Parity = port.parity;
  dcb.StopBits = port.stop_bits;
  ::SetCommState(device, &dcb);
}

// The completion signal "<prefix>_COM<n>", named from the part of the port
// name from its first "COM" on. A name without "COM" gets an unnamed signal.
HANDLE create_signal(const char* prefix, const char* port_name, BOOL signalled) {
  const char* com = std::strstr(port_name, "COM");
  if (com == nullptr) return ::CreateEventA(nullptr, TRUE, signalled, nullptr);
  const std::string name = std::string(prefix) + "_" + com;
  return ::CreateEventA(nullptr, TRUE, signalled, name.c_str());
}

// The signal as an OVERLAPPED's hEvent with its lowest bit set: the transfer
// still sets the signal, but posts nothing to an I/O completion port, which
// spares each transfer a call into the system (a server round trip under
// Wine). Waits use the signal itself.
HANDLE without_completion_port(HANDLE signal) {
  if (signal == nullptr) return nullptr;
  return reinterpret_cast<HANDLE>(reinterpret_cast<std::uintptr_t>(signal) | 1);
}

Failure open_failure(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
      return Failure::kMissing;
    // A COM port that another program has open is refused with access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return Failure::kPortBusy;
    default:
      return Failure::kOpenFailed;
  }
}

// Errors with which the drivers report a device that was pulled or hung up.
bool device_gone(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_INVALID_HANDLE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NOT_READY:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_IO_DEVICE:
      return true;
    default:
      return false;
  }
}

// Bytes the driver holds for reading, or -1 when the device is gone.
int queued_bytes(DevicePort* os) {
  DWORD errors = 0;
  COMSTAT status = {};
  if (::ClearCommError(os->device, &errors, &status)) return static_cast<int>(status.cbInQue);
  os->mark_removed(static_cast<int>(::GetLastError()));
  return -1;
}

// A transfer failed with `error`: the device is gone when the error says so
// or when the device no longer answers a status query.
int fail_transfer(DevicePort* os, DWORD error) {
  if (device_gone(error) || queued_bytes(os) < 0) {
    os->mark_removed(static_cast<int>(error));
  }
  return -1;
}

// A read that ended empty: a device that was pulled can end reads at once
// with nothing, as if they had timed out; one that no longer answers a
// status query is gone.
int empty_read(DevicePort* os) { return queued_bytes(os) < 0 ? -1 : 0; }

// Waits for a started transfer and returns the bytes it moved, 0 for a read
// that timed out with nothing received, -1 on failure.
int finish_transfer(DevicePort* os, OVERLAPPED& completion, HANDLE signal, int timeout_ms) {
  const HANDLE device = os->device;
  const DWORD bound = static_cast<DWORD>(timeout_ms) + kDriverSlackMs;
  DWORD done = 0;
  switch (::WaitForSingleObject(signal, bound)) {
    case WAIT_OBJECT_0:
      break;
    case WAIT_TIMEOUT:
      // The transfer uses the caller's buffer: it must have ended, cancelled,
      // before this returns.
      ::CancelIoEx(device, &completion);
      ::GetOverlappedResult(device, &completion, &done, TRUE);
      return -1;
    default:
      return -1;
  }
  if (::GetOverlappedResult(device, &completion, &done, FALSE)) return static_cast<int>(done);
  // Windows ends a read that timed out empty with success and 0 bytes; Wine
  // reports it as a failure with ERROR_TIMEOUT.
  const DWORD error = ::GetLastError();
  return error == ERROR_TIMEOUT ? static_cast<int>(done) : fail_transfer(os, error);
}

// One read of up to `want` bytes into the empty read-ahead buffer, ended by
// the device's time-outs and bounded by `timeout_ms` plus the driver slack.
// Returns the bytes read, 0 when none came, -1 on failure.
int read_ahead(DevicePort* os, int want, int timeout_ms) {
  const DWORD size = static_cast<DWORD>(std::min<int>(want, static_cast<int>(sizeof os->ahead)));
  DWORD got = 0;
  int n = 0;
  if (::ReadFile(os->device, os->ahead, size, &got, &os->read_completion)) {
    n = static_cast<int>(got);
  } else {
    const DWORD error = ::GetLastError();
    if (error == ERROR_TIMEOUT) return 0;
    if (error != ERROR_IO_PENDING) return fail_transfer(os, error);
    n = finish_transfer(os, os->read_completion, os->read_signal, timeout_ms);
  }
  os->took_ahead(n);
  return n;
}

}  // namespace

PortTransport* device_open(const SerialPort& port, Result& why) {
  const std::string path = resolve_port_path(port.port_name);
  why = Failure::kMissing;
  if (path.empty()) return nullptr;
  HANDLE device = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    why = Result::system(open_failure(error), static_cast<int>(error));
    return nullptr;
  }
  auto* os = new (std::nothrow) DevicePort;
  if (os == nullptr) {
    ::CloseHandle(device);
    return nullptr;
  }
  os->device = device;
  // The set-up steps may fail (a pseudo-terminal behind Wine has no modem
  // lines); the port is used as it was opened.
  DWORD errors = 0;
  ::ClearCommError(device, &errors, nullptr);
  ::SetupComm(device, kQueueBytes, kQueueBytes);
  ::PurgeComm(device, kPurgeAll);
  os->port_timeout_ms = os->read_total_ms = port.timeout_ms;
  set_device_timeouts(device, port.timeout_ms, port.timeout_ms);
  apply_line_settings(device, port);
  ::SetCommMask(device, 0);
  ::SetCommMask(device, EV_RXCHAR);
  os->write_signal = create_signal("W", port.port_name, TRUE);
  os->read_signal = create_signal("R", port.port_name, FALSE);
  os->write_completion.hEvent = without_completion_port(os->write_signal);
  os->read_completion.hEvent = without_completion_port(os->read_signal);
  return os;
}

void DevicePort::apply_timeouts(int ms) {
  port_timeout_ms = read_total_ms = ms;
  set_device_timeouts(device, ms, ms);
}

int DevicePort::write(const std::uint8_t* data, int count, int timeout_ms) {
  if (write_signal == nullptr || removed) return -1;
  DWORD written = 0;
  if (::WriteFile(device, data, static_cast<DWORD>(count), &written, &write_completion)) {
    return static_cast<int>(written);
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_IO_PENDING) return fail_transfer(this, error);
  return finish_transfer(this, write_completion, write_signal, timeout_ms);
}

int DevicePort::read(std::uint8_t* buffer, int count, int timeout_ms, int) {
  if (read_signal == nullptr) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int got = take_ahead(buffer, count);
  while (got < count) {
    if (removed) return got > 0 ? got : -1;
    const int queued = queued_bytes(this);
    if (queued < 0) return got > 0 ? got : -1;
    int n = 0;
    if (queued > 0) {
      n = read_ahead(this, queued, read_total_ms);
    } else {
      // Nothing there yet: until the first byte the caller's whole time-out
      // applies; after it, the gap limit, within the whole time-out.
      int wait = timeout_ms;
      if (got > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        wait = std::min(kReadGapMs, static_cast<int>(left.count()));
      }
      set_read_total(this, wait);
      n = read_ahead(this, count - got, wait);
    }
    if (n < 0) return got > 0 ? got : -1;
    if (n == 0) break;
    got += take_ahead(buffer + got, count - got);
  }
  return got == 0 ? empty_read(this) : got;
}

int DevicePort::purge() {
  drop_ahead();
  return ::PurgeComm(device, kPurgeAll) ? 1 : 0;
}

int DevicePort::read_pending(std::uint8_t* buffer, int count) {
  int got = take_ahead(buffer, count);
  while (got < count && !removed && read_signal != nullptr) {
    const int queued = queued_bytes(this);
    if (queued <= 0 || read_ahead(this, queued, read_total_ms) <= 0) break;
    got += take_ahead(buffer + got, count - got);
  }
  return got;
}

DevicePort::~DevicePort() {
  if (write_signal != nullptr) ::CloseHandle(write_signal);
  if (read_signal != nullptr) ::CloseHandle(read_signal);
  ::EscapeCommFunction(device, CLRRTS);
  ::EscapeCommFunction(device, CLRDTR);
  ::PurgeComm(device, kPurgeAll);
  ::SetCommMask(device, 0);
  ::CloseHandle(device);
}

}  // namespace tavik
