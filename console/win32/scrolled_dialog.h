// The main window's last resort on a screen too small for it even at
// kMinDialogPoints (dialog_font.h): it opens at the size of its monitor's
// work area with scroll bars, and the scroll bars, the mouse wheel and
// Shift with the wheel move its controls, so that each is in reach.
#pragma once

#include <windows.h>

namespace tavik::console {

class DialogScroller {
 public:
  // In WM_INITDIALOG, once the dialog manager has laid out the controls:
  // where the window is larger than the work area, shrinks it to the work
  // area and gives it scroll bars; otherwise changes nothing.
  void Attach(HWND dialog);
  // WM_SIZE, WM_HSCROLL, WM_VSCROLL, WM_MOUSEWHEEL, WM_MOUSEHWHEEL: true
  // when taken (only while scrolling).
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  bool scrolling() const { return hwnd_ != nullptr; }
  // Scrolls the least that brings `control` (a child) into view, as far as
  // it fits: for the keyboard's focus.
  void ScrollIntoView(HWND control);

 private:
  void Update();                      // the bars' ranges and pages from the client area
  void ScrollTo(int bar, int where);  // SB_HORZ or SB_VERT, in pixels of the whole layout
  void ScrollBy(int bar, int lines);

  HWND hwnd_ = nullptr;
  SIZE content_{};  // the client area the layout needs
  POINT offset_{};  // the layout's pixel at the client area's top left
  bool updating_ = false;
};

}  // namespace tavik::console
