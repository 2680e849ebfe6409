// A style that draws the frames of line edits from pixmaps it keeps. Fusion
// strokes an antialiased rounded rectangle for every repaint, which costs
// more than the text of a read-out that changes ten times a second.
#pragma once

#include <QPixmap>
#include <QProxyStyle>
#include <QSize>
#include <map>
#include <tuple>

namespace tavik::console {

class CachedFrameStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;

 private:
  // Size in device pixels, state flags, palette, line width.
  using Key = std::tuple<int, int, unsigned, qint64, int>;
  mutable std::map<Key, QPixmap> frames_;  // GUI thread only
};

}  // namespace tavik::console
