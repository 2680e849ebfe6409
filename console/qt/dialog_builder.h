// Builds a dialog's window and controls from its template: caption, font,
// fixed client size and one widget per control, placed by converting the
// template's dialog units with the font's base units.
#pragma once

#include <QWidget>
#include <vector>

#include "console/res/dialog_template.h"

class QDialog;
class QScreen;

namespace tavik::console {

struct BuiltControl {
  const ControlTemplate* source;
  QWidget* widget;
};

// Widget property holding the control's ID.
inline constexpr const char* kControlIdProperty = "controlId";

// Creates the controls as children of `dialog`, in template order, which is
// also their tab order, and returns them in that order. A dialog without a
// parent opens centred on a screen it fits; where it fits none, its font,
// and with it the whole window, is made smaller (fit_dialog_font).
//
// Widgets per kind: push buttons are QPushButton (never the default button
// unless the template says so), group boxes QGroupBox (passing the mouse
// through, as Windows group boxes do), labels and the icon QLabel, edit
// fields QLineEdit, combo boxes DropDownList (the template's height is the
// dropped-down list's; the closed box is as high as the font needs),
// progress bars QProgressBar drawn in blocks.
std::vector<BuiltControl> build_dialog(QDialog& dialog, const DialogTemplate& source);

// The room a window's client area has on `screen`: its available area less
// the window manager's frame.
QSize window_room(const QScreen* screen);

// Creates further controls on a dialog that build_dialog made, after its own.
std::vector<BuiltControl> add_controls(QDialog& dialog, std::span<const ControlTemplate> extra);

}  // namespace tavik::console
