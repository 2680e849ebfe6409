#include "tests/windows/sim_control.h"

#include <windows.h>

namespace tavik::test {

bool under_wine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace tavik::test
