#include "console/qt/blank_wrapped_label.h"

#include <QPainter>
#include <QStyle>

namespace tavik::console {

QStringList wrap_at_blanks(const QFontMetrics& metrics, const QString& text, int width) {
  QStringList lines;
  QString line;
  const auto fits = [&](const QString& s) { return metrics.horizontalAdvance(s) <= width; };
  for (const QString& word : text.split(QLatin1Char(' '))) {
    const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
    if (fits(longer) || line.isEmpty()) {
      line = longer;
    } else {
      lines << line;
      line = word;
    }
    // A word wider than the label goes on as far as the label lets it.
    while (!fits(line) && line.size() > 1) {
      qsizetype cut = line.size() - 1;
      while (cut > 1 && !fits(line.left(cut))) --cut;
      lines << line.left(cut);
      line = line.mid(cut);
    }
  }
  if (!line.isEmpty() || lines.isEmpty()) lines << line;
  return lines;
}

QStringList BlankWrappedLabel::lines() const {
  return wrap_at_blanks(fontMetrics(), text(), contentsRect().width());
}

void BlankWrappedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect room = contentsRect();
  const int step = fontMetrics().lineSpacing();
  int y = room.top();
  for (const QString& line : lines()) {
    style()->drawItemText(&painter, QRect(room.left(), y, room.width(), step),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, palette(), isEnabled(), line,
                          foregroundRole());
    y += step;
  }
}

}  // namespace tavik::console
