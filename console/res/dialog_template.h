// Dialog templates as data: each control's kind, ID, caption and place in
// dialog units, in template order, which is also the tab order. The window
// is built from these tables at run time.
#pragma once

#include <span>
#include <string_view>

namespace tavik::console {

enum class ControlKind {
  PushButton,
  DefPushButton,  // the default button of its dialog
  GroupBox,
  Label,
  Icon,  // a label showing the program's icon
  Edit,
  ReadOnlyEdit,
  ComboBox,  // editable drop-down list; the height includes the dropped-down list
  ProgressBar,
};

struct ControlTemplate {
  int id;  // -1 for labels and group boxes that the program never addresses
  ControlKind kind;
  std::string_view caption;  // UTF-8, empty for none
  int x, y, cx, cy;          // dialog units, relative to the client area
};

struct DialogTemplate {
  int id;
  std::string_view caption;  // UTF-8
  std::string_view font_face;
  int font_points;
  int cx, cy;  // client size in dialog units
  std::span<const ControlTemplate> controls;
};

// The main window, dialog 102.
const DialogTemplate& main_dialog_template();
// The About box, dialog 100.
const DialogTemplate& about_dialog_template();
// The link panel's controls, added to the main window beside its template's.
std::span<const ControlTemplate> link_panel_controls();

}  // namespace tavik::console
