// The About box, dialog 100, opened modally from the system menu's entry.
#pragma once

#include <windows.h>

namespace tavik::console {

void show_about_box(HINSTANCE instance, HWND owner);

}  // namespace tavik::console
