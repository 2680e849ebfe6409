#include "console/win32/about_box.h"

#include "console/win32/dialog_template_builder.h"
#include "console/win32/window_placement.h"

namespace tavik::console {
namespace {

INT_PTR CALLBACK about_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      place_over_top(hwnd, ::GetWindow(hwnd, GW_OWNER));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        ::EndDialog(hwnd, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void show_about_box(HINSTANCE instance, HWND owner) {
  const DialogTemplateBuffer about(about_dialog_template(), kAboutDialogStyle);
  ::DialogBoxIndirectParamW(instance, about.get(), owner, about_proc, 0);
}

}  // namespace tavik::console
