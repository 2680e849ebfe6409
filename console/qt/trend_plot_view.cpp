#include "console/qt/trend_plot_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>

namespace tavik::console {
namespace {

QColor colour(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

QRect to_qrect(const TrendRect& r) { return QRect(r.x, r.y, r.width, r.height); }

QPointF to_pixels(const TrendRect& r, const TrendPoint& p) {
  return QPointF(r.x + static_cast<double>(p.x) * r.width, r.y + (1.0 - static_cast<double>(p.y)) * r.height);
}

}  // namespace

TrendPlotView::TrendPlotView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(480, 360);
}

void TrendPlotView::show_snapshot(const TrendSnapshot& snapshot) {
  snapshot_ = snapshot;
  frame_ = frame_trends(snapshot_);
  if (hover_x_) report_hover();
  update();
}

std::array<TrendRect, 3> TrendPlotView::plot_rects() const {
  const QFontMetrics metrics = fontMetrics();
  return layout_trend_plots(width(), height(), 0, metrics.horizontalAdvance(QLatin1Char('0')),
                            metrics.height());
}

void TrendPlotView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  const QFontMetrics metrics = fontMetrics();
  const int line = metrics.height();
  const int gap = metrics.horizontalAdvance(QLatin1Char('0')) / 2;
  const auto rects = plot_rects();
  const QColor text = palette().text().color();
  const QColor grid = palette().mid().color().lighter(140);

  for (std::size_t p = 0; p < rects.size(); ++p) {
    const TrendPlot& plot = frame_.plots[p];
    const QRect area = to_qrect(rects[p]);
    // Title and legend on the line above the plot.
    int x = area.left();
    const int baseline = area.top() - line / 2 - metrics.descent();
    painter.setPen(text);
    painter.drawText(x, baseline, QString::fromStdString(plot.title));
    x += metrics.horizontalAdvance(QString::fromStdString(plot.title)) + 3 * gap;
    for (const TrendLine& l : plot.lines) {
      const QString name = QString::fromUtf8(l.series->name);
      painter.fillRect(x, baseline - metrics.ascent() / 2 - 1, 2 * gap + 4, 3, colour(l.series->rgb));
      x += 2 * gap + 4 + gap;
      painter.setPen(text);
      painter.drawText(x, baseline, name);
      x += metrics.horizontalAdvance(name) + 2 * gap;
    }
    // Grid, ticks and units.
    auto draw_axis = [&](const TrendAxis& axis, bool right) {
      for (double tick : axis.ticks) {
        const double y = area.bottom() - axis.fraction(tick) * area.height();
        if (!right) {
          painter.setPen(grid);
          painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        }
        painter.setPen(text);
        const QString label = QString::fromStdString(axis.label(tick));
        const int w = metrics.horizontalAdvance(label);
        const int lx = right ? area.right() + gap : area.left() - gap - w;
        painter.drawText(lx, static_cast<int>(y) + metrics.ascent() / 2 - 1, label);
      }
      const QString unit = QString::fromStdString(axis.unit);
      const int ux = right ? area.right() + gap : area.left() - gap - metrics.horizontalAdvance(unit);
      painter.drawText(ux, area.top() - line / 2 - metrics.descent(), unit);
    };
    for (float tx : frame_.time_tick_x) {
      painter.setPen(grid);
      const double gx = area.left() + static_cast<double>(tx) * area.width();
      painter.drawLine(QPointF(gx, area.top()), QPointF(gx, area.bottom()));
    }
    draw_axis(plot.left, false);
    if (plot.has_right) draw_axis(plot.right, true);
    painter.setPen(palette().mid().color());
    painter.drawRect(area.adjusted(0, 0, -1, -1));

    // The lines, clipped to the plot.
    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const TrendLine& l : plot.lines) {
      // Cosmetic one-pixel lines: a wider pen costs ten times as much to stroke.
      QPen pen(colour(l.series->rgb), 0);
      painter.setPen(pen);
      painter.setBrush(colour(l.series->rgb));
      for (const auto& run : l.runs) {
        if (run.size() == 1) {
          painter.drawEllipse(to_pixels(rects[p], run[0]), 1.5, 1.5);
          continue;
        }
        QPolygonF polyline;
        polyline.reserve(static_cast<qsizetype>(run.size()));
        for (const TrendPoint& point : run) polyline << to_pixels(rects[p], point);
        painter.drawPolyline(polyline);
      }
    }
    painter.restore();
    if (hover_x_) {
      painter.setPen(QPen(text, 1, Qt::DashLine));
      const double hx = area.left() + *hover_x_ * area.width();
      painter.drawLine(QPointF(hx, area.top()), QPointF(hx, area.bottom()));
    }
  }
  // Time labels under the last plot.
  const QRect last = to_qrect(rects[2]);
  painter.setPen(text);
  for (std::size_t i = 0; i < frame_.time_labels.size(); ++i) {
    const QString label = QString::fromStdString(frame_.time_labels[i]);
    const int w = metrics.horizontalAdvance(label);
    const int cx = last.left() + static_cast<int>(static_cast<double>(frame_.time_tick_x[i]) * last.width());
    painter.drawText(std::clamp(cx - w / 2, 0, width() - w), last.bottom() + 2 + metrics.ascent(), label);
  }
}

void TrendPlotView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  std::optional<double> x;
  for (const TrendRect& r : plot_rects()) {
    if (r.contains(at.x(), at.y())) x = static_cast<double>(at.x() - r.x) / r.width;
  }
  if (x != hover_x_) {
    hover_x_ = x;
    report_hover();
    update();
  }
}

void TrendPlotView::leaveEvent(QEvent*) {
  if (!hover_x_) return;
  hover_x_.reset();
  report_hover();
  update();
}

void TrendPlotView::report_hover() {
  emit hovered(hover_x_
                   ? QString::fromStdString(trend_values_at(snapshot_, trend_time_at(snapshot_, *hover_x_)))
                   : QString());
}

}  // namespace tavik::console
