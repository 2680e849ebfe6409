// The dialogs' font face: the template's (굴림, Gulim) where the font this
// system gives for it draws the Korean texts, else the first of the Korean faces that Windows
// and Linux ship with Gulim's proportions (맑은 고딕, Malgun Gothic, on every
// Windows since 7; NanumGothic), else the template's name for the font
// mapper to resolve.
#pragma once

#include <windows.h>

#include <string>

#include "console/res/dialog_template.h"

namespace tavik::console {

std::wstring dialog_face(const DialogTemplate& source);

// The smallest point size the dialogs go down to.
inline constexpr int kMinDialogPoints = 5;

// The template's point size, or a smaller one, a point at a time down to
// kMinDialogPoints, until a window of the template's size in `face` fits
// the work area of the monitor under the mouse pointer (at its resolution:
// the program is per-monitor DPI aware) with each caption whole in its
// control. The dialog manager lays the controls out in units of the font,
// so the whole window shrinks with it. Where no size fits, the smallest
// with every caption whole: the window then scrolls (scrolled_dialog.h).
int dialog_points(const DialogTemplate& source, const std::wstring& face, DWORD style);

}  // namespace tavik::console
