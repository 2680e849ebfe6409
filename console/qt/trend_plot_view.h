// The three plots of the Trends window, painted from a snapshot of the
// history: the geometry comes from the core (frame_trends and
// layout_trend_plots), so the Windows view draws the same. Pointing at a
// plot draws a cursor across all three and reports the values at that time.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>

#include "console/core/trend_plot.h"

namespace tavik::console {

class TrendPlotView : public QWidget {
  Q_OBJECT

 public:
  explicit TrendPlotView(QWidget* parent = nullptr);

  // Draws `snapshot` from now on.
  void show_snapshot(const TrendSnapshot& snapshot);
  const TrendSnapshot& snapshot() const { return snapshot_; }
  // The plot areas in this widget's pixels, plot 0 (battery) first.
  std::array<TrendRect, 3> plot_rects() const;

 signals:
  // The values under the pointer, or an empty text when it left the plots.
  void hovered(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void report_hover();

  TrendSnapshot snapshot_;
  TrendFrame frame_;
  std::optional<double> hover_x_;  // 0..1 across the plot areas
};

}  // namespace tavik::console
