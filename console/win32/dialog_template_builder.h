// A dialog template as the window manager takes it: the in-memory extended
// template (DLGTEMPLATEEX and one DLGITEMTEMPLATEEX per control) built from
// the console's template tables, for DialogBoxIndirectParamW and
// CreateDialogIndirectParamW. The window manager then converts the dialog
// units with the template's font and keeps the template order as tab order.
#pragma once

#include <windows.h>

#include <span>
#include <vector>

#include "console/res/dialog_template.h"

namespace tavik::console {

// Window styles of the two dialogs.
inline constexpr DWORD kMainDialogStyle =
    DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
inline constexpr DWORD kMainDialogExStyle = WS_EX_APPWINDOW;
inline constexpr DWORD kAboutDialogStyle = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;

// Window class and styles of a control of kind `kind`.
const wchar_t* control_class(ControlKind kind);
DWORD control_style(ControlKind kind);

class DialogTemplateBuffer {
 public:
  // `extra` controls follow the template's (the main window's link panel).
  DialogTemplateBuffer(const DialogTemplate& source, DWORD style, DWORD ex_style = 0,
                       std::span<const ControlTemplate> extra = {});
  // DWORD-aligned, as the window manager needs it.
  LPCDLGTEMPLATEW get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(words_.data()); }

 private:
  void put_control(const ControlTemplate& c);
  void put(WORD word) { words_.push_back(word); }
  void put_dword(DWORD value);
  void put_text(std::wstring_view text);  // zero-terminated
  void align_dword();

  std::vector<WORD> words_;
};

}  // namespace tavik::console
