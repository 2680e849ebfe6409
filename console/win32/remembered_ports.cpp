#include "console/win32/remembered_ports.h"

#include <windows.h>

#include "console/win32/utf16_text.h"

namespace tavik::console {
namespace {

constexpr wchar_t kKey[] = L"Software\\Tavik\\Tavik V1 Basic";

}  // namespace

std::string remembered_port(const std::string& key) {
  wchar_t value[256] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_CURRENT_USER, kKey, widen(key).c_str(), RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  return narrow(value);
}

void remember_port(const std::string& key, const std::string& name) {
  HKEY hkey = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &hkey, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  const std::wstring wide = widen(name);
  ::RegSetValueExW(hkey, widen(key).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(hkey);
}

}  // namespace tavik::console
