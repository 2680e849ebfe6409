#include "console/win32/window_placement.h"

#include "console/core/window_placement.h"

namespace tavik::console {
namespace {

ScreenRect screen_rect(const RECT& r) {
  return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
          static_cast<int>(r.bottom - r.top)};
}

template <class Rule>
void place(HWND window, HWND main, Rule rule) {
  RECT own, owner;
  if (!main || !::GetWindowRect(window, &own) || !::GetWindowRect(main, &owner)) return;
  MONITORINFO monitor{sizeof(MONITORINFO), {}, {}, 0};
  if (!::GetMonitorInfoW(::MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const ScreenPoint at = rule(screen_rect(owner), static_cast<int>(own.right - own.left),
                              static_cast<int>(own.bottom - own.top), screen_rect(monitor.rcWork));
  ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void place_beside(HWND window, HWND main) { place(window, main, beside); }

void place_over_top(HWND window, HWND main) { place(window, main, over_top); }

}  // namespace tavik::console
