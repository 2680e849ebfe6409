#include "console/qt/cached_frame_style.h"

#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyleOptionFrame>

namespace tavik::console {

void CachedFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
  const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
  if (element != PE_PanelLineEdit || frame == nullptr || option->rect.isEmpty()) {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    return;
  }
  const qreal ratio = painter->device()->devicePixelRatioF();
  const QString key = QStringLiteral("tavik-edit-frame-%1x%2@%3-%4-%5-%6")
                          .arg(option->rect.width())
                          .arg(option->rect.height())
                          .arg(ratio)
                          .arg(static_cast<uint>(option->state))
                          .arg(option->palette.cacheKey())
                          .arg(frame->lineWidth);
  QPixmap pixmap;
  if (!QPixmapCache::find(key, &pixmap)) {
    pixmap = QPixmap(option->rect.size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QStyleOptionFrame at_origin = *frame;
    at_origin.rect.moveTo(0, 0);
    QPainter cache_painter(&pixmap);
    QProxyStyle::drawPrimitive(element, &at_origin, &cache_painter, widget);
    cache_painter.end();
    QPixmapCache::insert(key, pixmap);
  }
  painter->drawPixmap(option->rect.topLeft(), pixmap);
}

}  // namespace tavik::console
