// Dialog units to pixels, as the Windows dialog manager converts them: one
// horizontal unit is a quarter of the dialog font's average character width,
// one vertical unit an eighth of its character height. The layout therefore
// scales with the font, and with it with the screen's resolution.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace tavik::console {

struct BaseUnits {
  int x;  // average character width in pixels
  int y;  // character height in pixels
};

// Base units of `font`: the width of "A".."Z" "a".."z" averaged and rounded
// as Windows does ((width / 26 + 1) / 2), and the font's height.
BaseUnits dialog_base_units(const QFont& font);

// number * numerator / denominator with a 64-bit product, rounded half away
// from zero; -1 when the denominator is 0 or the result does not fit an int.
int mul_div(int number, int numerator, int denominator);

// Each of x, y, cx and cy converted on its own, as the dialog manager does
// when it creates a template's controls.
QRect map_dialog_rect(BaseUnits units, int x, int y, int cx, int cy);
QSize map_dialog_size(BaseUnits units, int cx, int cy);

// A line of the font's text, in vertical dialog units.
inline constexpr int kDialogLine = 8;

// The smallest point size fit_dialog_font goes down to.
inline constexpr double kMinDialogPoints = 4.0;

struct FittedFont {
  QFont font;
  bool fits;  // false: even the smallest size is too large
};
// `font`, or the same font made smaller in half points, down to
// kMinDialogPoints, until a dialog of cx x cy dialog units fits `room` pixels.
// The layout scales with the font, so the whole window shrinks with it.
FittedFont fit_dialog_font(const QFont& font, int cx, int cy, QSize room);

}  // namespace tavik::console
