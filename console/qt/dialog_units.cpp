#include "console/qt/dialog_units.h"

#include <QFont>
#include <QFontMetrics>
#include <cstdint>
#include <limits>

namespace tavik::console {

BaseUnits dialog_base_units(const QFont& font) {
  QFontMetrics metrics(font);
  int width =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(width / 26 + 1) / 2, metrics.height()};
}

int mul_div(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  std::int64_t product = std::int64_t{number} * numerator;
  bool negative = (product < 0) != (denominator < 0);
  std::int64_t magnitude = product < 0 ? -product : product;
  std::int64_t divisor = denominator < 0 ? -std::int64_t{denominator} : denominator;
  std::int64_t quotient = (magnitude + divisor / 2) / divisor;
  if (negative) quotient = -quotient;
  if (quotient > std::numeric_limits<int>::max() || quotient < std::numeric_limits<int>::min()) return -1;
  return static_cast<int>(quotient);
}

QRect map_dialog_rect(BaseUnits units, int x, int y, int cx, int cy) {
  return {mul_div(x, units.x, 4), mul_div(y, units.y, 8), mul_div(cx, units.x, 4), mul_div(cy, units.y, 8)};
}

QSize map_dialog_size(BaseUnits units, int cx, int cy) {
  return {mul_div(cx, units.x, 4), mul_div(cy, units.y, 8)};
}

FittedFont fit_dialog_font(const QFont& font, int cx, int cy, QSize room) {
  QFont fitted = font;
  for (;;) {
    const QSize size = map_dialog_size(dialog_base_units(fitted), cx, cy);
    if (size.width() <= room.width() && size.height() <= room.height()) return {fitted, true};
    const double smaller = fitted.pointSizeF() - 0.5;
    if (smaller < kMinDialogPoints) return {fitted, false};
    fitted.setPointSizeF(smaller);
  }
}

}  // namespace tavik::console
