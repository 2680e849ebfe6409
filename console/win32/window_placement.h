// The console's placement rules (console/core/window_placement.h) for
// windows: in screen pixels of the owner's monitor's work area.
#pragma once

#include <windows.h>

namespace tavik::console {

void place_beside(HWND window, HWND main);
void place_over_top(HWND window, HWND main);

}  // namespace tavik::console
