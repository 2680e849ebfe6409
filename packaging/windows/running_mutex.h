// While a Tavik program runs on Windows it holds a mutex of this name; the
// installer and the uninstaller (packaging/tavik-windows.nsi, given the name
// by scripts/package-windows) look for it and do not replace or remove files
// that a running program has open.
#pragma once

#ifdef _WIN32
#include <windows.h>

namespace tavik {

inline constexpr wchar_t kRunningMutex[] = L"Tavik.Running";

// Held until the process ends, when the system closes the handle.
inline void hold_running_mutex() { ::CreateMutexW(nullptr, FALSE, kRunningMutex); }

}  // namespace tavik
#endif
