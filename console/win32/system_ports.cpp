#include "console/win32/system_ports.h"

#include <windows.h>
//
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>
#include <string>

#include "console/win32/utf16_text.h"

namespace tavik::console {
namespace {

// "COM23" -> 23, anything else sorts after the numbered ports.
long port_order(const std::wstring& name) {
  if (name.size() < 4 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) return LONG_MAX;
  wchar_t* end = nullptr;
  const long n = std::wcstol(name.c_str() + 3, &end, 10);
  return end && *end == L'\0' ? n : LONG_MAX;
}

std::vector<std::wstring> device_map_names() {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return names;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t value_name[256], data[256];
    DWORD name_size = 256, data_size = sizeof data, type = 0;
    const LONG status = ::RegEnumValueW(key, i, value_name, &name_size, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &data_size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    names.emplace_back(data, wcsnlen(data, data_size / sizeof(wchar_t)));
  }
  ::RegCloseKey(key);
  return names;
}

// Port name -> friendly name, for the devices of the Ports class.
std::map<std::wstring, std::wstring> friendly_names() {
  std::map<std::wstring, std::wstring> names;
  const HDEVINFO devices = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA device{sizeof(SP_DEVINFO_DATA), {}, 0, 0};
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
    wchar_t friendly[256] = {}, port[64] = {};
    if (!::SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                             reinterpret_cast<BYTE*>(friendly), sizeof friendly, nullptr)) {
      continue;
    }
    const HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    DWORD size = sizeof port - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
      names.emplace(port, friendly);
    }
    ::RegCloseKey(key);
  }
  ::SetupDiDestroyDeviceInfoList(devices);
  return names;
}

}  // namespace

std::vector<SystemPort> system_ports() {
  std::vector<std::wstring> names = device_map_names();
  std::stable_sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
    return port_order(a) < port_order(b);
  });
  const std::map<std::wstring, std::wstring> friendly = friendly_names();
  std::vector<SystemPort> ports;
  for (const std::wstring& name : names) {
    const auto it = friendly.find(name);
    ports.push_back({narrow(name), it == friendly.end() ? narrow(name) : narrow(it->second)});
  }
  return ports;
}

}  // namespace tavik::console
