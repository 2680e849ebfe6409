#include <windows.h>

#include "serial/names/port_path.h"
#include "serial/ports/port_lock.h"

namespace tavik {

bool take_port_lock(int) { return true; }  // the exclusive open is the lock

bool port_locked(const std::string& device) {
  // The ports are opened exclusively: another program's open is refused.
  const HANDLE handle = ::CreateFileA(resolve_port_path(device.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    ::CloseHandle(handle);
    return false;
  }
  const DWORD error = ::GetLastError();
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY;
}

// Windows does not say which program holds a COM port.
long port_lock_holder(const std::string&) { return 0; }

}  // namespace tavik
