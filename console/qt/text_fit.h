// Each control's text whole in its place. The window is laid out in dialog
// units of its font, but a font's text does not grow exactly with its base
// units from one size to the next (hinting, rounding): at another size a
// caption may need a pixel or two more than its template gave it, and is
// cut. Such a control gets the same font made smaller in half points, down
// to kMinDialogPoints, until its text fits.
#pragma once

#include <QString>
#include <QWidget>
#include <span>

#include "console/qt/dialog_builder.h"

namespace tavik::console {

// Pixels the longest text a control shows (a label's, a button's or a group
// box's caption, a list's entries other than the system's named ports)
// needs beyond its room (for a label that wraps its text, the lines below
// it); 0 when all fit or the control shows none.
int text_overflow(const QWidget* widget);

// Makes each control whose text overflows smaller, as above.
void fit_texts(std::span<const BuiltControl> controls);

}  // namespace tavik::console
