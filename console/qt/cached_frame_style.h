// A style that draws the frames of line edits from a pixmap cache. Fusion
// strokes an antialiased rounded rectangle for every repaint, which costs
// more than the text of a read-out that changes ten times a second.
#pragma once

#include <QProxyStyle>

namespace tavik::console {

class CachedFrameStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
};

}  // namespace tavik::console
