// Win32 backend of SerialPort: the communications API with overlapped
// transfers. The device's own time-outs (10 ms between bytes, timeout_ms in
// total) end every read and write; each transfer waits for its completion
// signal before it returns, so at most one read and one write are in flight.
#include <windows.h>

#include <cstring>
#include <new>
#include <string>

#include "serial/port_path.h"
#include "serial/serial_port_impl.h"

namespace tavik {

struct SerialPortOs {
  HANDLE device = INVALID_HANDLE_VALUE;
  OVERLAPPED write_completion = {};
  OVERLAPPED read_completion = {};
  bool removed = false;  // a transfer found the device gone
};

namespace {

constexpr DWORD kQueueBytes = 4096;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// A transfer that the driver has not ended this long after the device's own
// time-out is cancelled: a hung driver must not hold a board's lock forever.
constexpr DWORD kDriverSlackMs = 1000;

void apply_timeouts(HANDLE device, int timeout_ms) {
  COMMTIMEOUTS t = {};
  t.ReadIntervalTimeout = static_cast<DWORD>(kReadGapMs);
  t.ReadTotalTimeoutMultiplier = 0;
  t.ReadTotalTimeoutConstant = static_cast<DWORD>(timeout_ms);
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = static_cast<DWORD>(timeout_ms);
  ::SetCommTimeouts(device, &t);
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

// A transfer failed with `error`: the device is gone when the error says so
// or when the device no longer answers a status query.
int fail_transfer(SerialPortOs* os, DWORD error) {
  DWORD errors = 0;
  if (device_gone(error) || !::ClearCommError(os->device, &errors, nullptr)) os->removed = true;
  return -1;
}

// A read that ended empty: a device that was pulled can end reads at once
// with nothing, as if they had timed out; one that no longer answers a
// status query is gone.
int empty_read(SerialPortOs* os) {
  DWORD errors = 0;
  if (::ClearCommError(os->device, &errors, nullptr)) return 0;
  os->removed = true;
  return -1;
}

// Waits for a started transfer and returns the bytes it moved, 0 for a read
// that timed out with nothing received, -1 on failure.
int finish_transfer(SerialPortOs* os, OVERLAPPED& completion, int timeout_ms) {
  const HANDLE device = os->device;
  const DWORD bound = static_cast<DWORD>(timeout_ms) + kDriverSlackMs;
  DWORD done = 0;
  switch (::WaitForSingleObject(completion.hEvent, bound)) {
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

}  // namespace

SerialPortOs* os_open(const SerialPort& port, Failure& why) {
  const std::string path = resolve_port_path(port.port_name);
  why = Failure::kMissing;
  if (path.empty()) return nullptr;
  HANDLE device = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    why = open_failure(::GetLastError());
    return nullptr;
  }
  auto* os = new (std::nothrow) SerialPortOs;
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
  apply_timeouts(device, port.timeout_ms);
  apply_line_settings(device, port);
  ::SetCommMask(device, 0);
  ::SetCommMask(device, EV_RXCHAR);
  os->write_completion.hEvent = create_signal("W", port.port_name, TRUE);
  os->read_completion.hEvent = create_signal("R", port.port_name, FALSE);
  return os;
}

void os_apply_timeouts(SerialPortOs* os, int timeout_ms) { apply_timeouts(os->device, timeout_ms); }

int os_write(SerialPortOs* os, const std::uint8_t* data, int count, int timeout_ms) {
  if (os->write_completion.hEvent == nullptr || os->removed) return -1;
  DWORD written = 0;
  if (::WriteFile(os->device, data, static_cast<DWORD>(count), &written, &os->write_completion)) {
    return static_cast<int>(written);
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_IO_PENDING) return fail_transfer(os, error);
  return finish_transfer(os, os->write_completion, timeout_ms);
}

int os_read(SerialPortOs* os, std::uint8_t* buffer, int count, int timeout_ms) {
  if (os->read_completion.hEvent == nullptr || os->removed) return -1;
  DWORD got = 0;
  int result = 0;
  if (::ReadFile(os->device, buffer, static_cast<DWORD>(count), &got, &os->read_completion)) {
    result = static_cast<int>(got);
  } else {
    const DWORD error = ::GetLastError();
    if (error == ERROR_TIMEOUT) return empty_read(os);
    if (error != ERROR_IO_PENDING) return fail_transfer(os, error);
    result = finish_transfer(os, os->read_completion, timeout_ms);
  }
  return result == 0 ? empty_read(os) : result;
}

int os_purge(SerialPortOs* os) { return ::PurgeComm(os->device, kPurgeAll) ? 1 : 0; }

int os_read_pending(SerialPortOs* os, std::uint8_t* buffer, int count) {
  DWORD errors = 0;
  COMSTAT status = {};
  if (os->removed || !::ClearCommError(os->device, &errors, &status) || status.cbInQue == 0) return 0;
  const DWORD queued = status.cbInQue < static_cast<DWORD>(count) ? status.cbInQue : static_cast<DWORD>(count);
  const int got = os_read(os, buffer, static_cast<int>(queued), 0);
  return got > 0 ? got : 0;
}

bool os_lost(const SerialPortOs* os) { return os->removed; }

void os_close(SerialPortOs* os) {
  if (os->write_completion.hEvent != nullptr) ::CloseHandle(os->write_completion.hEvent);
  if (os->read_completion.hEvent != nullptr) ::CloseHandle(os->read_completion.hEvent);
  ::EscapeCommFunction(os->device, CLRRTS);
  ::EscapeCommFunction(os->device, CLRDTR);
  ::PurgeComm(os->device, kPurgeAll);
  ::SetCommMask(os->device, 0);
  ::CloseHandle(os->device);
  delete os;
}

}  // namespace tavik
