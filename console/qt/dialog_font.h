// The dialogs' font. The templates name "굴림" (Gulim), which Linux systems do
// not have: the font database is told which installed Korean fonts stand in
// for it, so that the Korean captions render.
#pragma once

#include <QFont>
#include <string_view>

namespace tavik::console {

// Registers the stand-ins for "굴림" and "Gulim". Call once after the
// application object exists.
void install_dialog_font_substitutes();

// The font a template names, at its point size, normal weight, upright.
QFont dialog_font(std::string_view face, int points);

}  // namespace tavik::console
