#include "console/qt/cached_frame_style.h"

#include <QPainter>
#include <QStyleOptionFrame>

namespace tavik::console {
namespace {

// A window has a few dozen fields in a few states; more means the palette
// or the sizes keep changing, and the old frames are of no further use.
constexpr std::size_t kMaxFrames = 256;

}  // namespace

void CachedFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
  const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
  if (element != PE_PanelLineEdit || frame == nullptr || option->rect.isEmpty()) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  const qreal ratio = painter->device()->devicePixelRatioF();
  const QSize pixels = option->rect.size() * ratio;
  const Key key{pixels.width(), pixels.height(), static_cast<unsigned>(option->state),
                option->palette.cacheKey(), frame->lineWidth};
  auto found = frames_.find(key);
  if (found == frames_.end()) {
    if (frames_.size() >= kMaxFrames) frames_.clear();
    QPixmap pixmap(pixels);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QStyleOptionFrame at_origin = *frame;
    at_origin.rect.moveTo(0, 0);
    QPainter cache_painter(&pixmap);
    QProxyStyle::drawPrimitive(element, &at_origin, &cache_painter, widget);
    cache_painter.end();
    found = frames_.emplace(key, std::move(pixmap)).first;
  }
  painter->drawPixmap(option->rect.topLeft(), found->second);
}

}  // namespace tavik::console
