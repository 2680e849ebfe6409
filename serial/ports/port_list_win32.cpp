#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "serial/names/port_path.h"
#include "serial/ports/port_list.h"

namespace tavik {
namespace {

// "COM3" for a COM name in any case ("com3" under Wine), else "".
std::string com_name(const char* text) {
  std::string name(text);
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return com_number(name) >= 0 && name.rfind("COM", 0) == 0 ? name : std::string();
}

}  // namespace

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

// Windows does not say which program holds a COM port.
std::string port_holder(const std::string&) { return ""; }

std::string permission_advice(const std::string&) { return "this user may not open it"; }

}  // namespace tavik
