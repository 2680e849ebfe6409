#include "console/win32/dialog_template_builder.h"

#include <commctrl.h>

#include "console/res/resource.h"
#include "console/win32/dialog_font.h"
#include "console/win32/utf16_text.h"

namespace tavik::console {
namespace {

constexpr WORD kExtendedVersion = 1;
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kOrdinal = 0xFFFF;  // an ordinal follows instead of a text
constexpr WORD kNormalWeight = FW_NORMAL;
constexpr BYTE kDefaultCharset = DEFAULT_CHARSET;

}  // namespace

const wchar_t* control_class(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
    case ControlKind::GroupBox:
      return WC_BUTTONW;
    case ControlKind::Label:
    case ControlKind::Icon:
      return WC_STATICW;
    case ControlKind::Edit:
    case ControlKind::ReadOnlyEdit:
      return WC_EDITW;
    case ControlKind::ComboBox:
      return WC_COMBOBOXW;
    case ControlKind::ProgressBar:
      return PROGRESS_CLASSW;
  }
  return WC_STATICW;
}

DWORD control_style(ControlKind kind) {
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
  constexpr DWORD kEdit = kChild | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL;
  switch (kind) {
    case ControlKind::PushButton:
      return kChild | WS_TABSTOP | BS_PUSHBUTTON;
    case ControlKind::DefPushButton:
      return kChild | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON;
    case ControlKind::GroupBox:
      return kChild | BS_GROUPBOX;
    case ControlKind::Label:
      return kChild | WS_GROUP | SS_LEFT;
    case ControlKind::Icon:
      return kChild | SS_ICON;
    case ControlKind::Edit:
      return kEdit | WS_TABSTOP;
    case ControlKind::ReadOnlyEdit:  // a read-out: selectable with the mouse, skipped by Tab
      return kEdit | ES_READONLY;
    case ControlKind::ComboBox:
      return kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_SORT;
    case ControlKind::ProgressBar:
      return kChild | WS_BORDER;
  }
  return kChild;
}

DialogTemplateBuffer::DialogTemplateBuffer(const DialogTemplate& source, DWORD style, DWORD ex_style,
                                           std::span<const ControlTemplate> extra) {
  put(kExtendedVersion);
  put(kExtendedSignature);
  put_dword(0);  // help context
  put_dword(ex_style);
  put_dword(style);
  put(static_cast<WORD>(source.controls.size() + extra.size()));
  for (int v : {0, 0, source.cx, source.cy}) put(static_cast<WORD>(v));
  put(0);  // no menu
  put(0);  // the standard dialog class
  put_text(widen(source.caption));
  const std::wstring face = dialog_face(source);
  put(static_cast<WORD>(dialog_points(source, face, style)));
  put(kNormalWeight);
  put(static_cast<WORD>(kDefaultCharset << 8));  // not italic, then the character set
  put_text(face);

  for (std::span<const ControlTemplate> controls : {source.controls, extra}) {
    for (const ControlTemplate& c : controls) put_control(c);
  }
}

void DialogTemplateBuffer::put_control(const ControlTemplate& c) {
  align_dword();
  put_dword(0);  // help context
  put_dword(0);  // extended style
  put_dword(control_style(c.kind));
  for (int v : {c.x, c.y, c.cx, c.cy}) put(static_cast<WORD>(v));
  put_dword(static_cast<DWORD>(c.id));
  put_text(control_class(c.kind));
  if (c.kind == ControlKind::Icon) {
    put(kOrdinal);
    put(static_cast<WORD>(IDR_MAINFRAME));
  } else {
    put_text(widen(c.caption));
  }
  put(0);  // no creation data
}

void DialogTemplateBuffer::put_dword(DWORD value) {
  put(LOWORD(value));
  put(HIWORD(value));
}

void DialogTemplateBuffer::put_text(std::wstring_view text) {
  for (wchar_t ch : text) put(static_cast<WORD>(ch));
  put(0);
}

void DialogTemplateBuffer::align_dword() {
  if (words_.size() % 2 != 0) put(0);
}

}  // namespace tavik::console
