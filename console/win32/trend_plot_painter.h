// The Trends window's three plots drawn with GDI from a frame of the core
// (frame_trends) in the places layout_trend_plots gives, as the Qt view's
// TrendPlotView paints them.
#pragma once

#include <windows.h>

#include <array>

#include "console/core/trend_plot.h"

namespace tavik::console {

struct TrendPlotPainter {
  HFONT font = nullptr;
  int char_width = 7;
  int line_height = 14;

  // Fills `client` and draws the plots in `rects`, their time labels, and
  // the cursor at `hover_x` (0..1 across the plots; none when negative).
  void Draw(HDC dc, const RECT& client, const TrendFrame& frame, const std::array<TrendRect, 3>& rects,
            double hover_x) const;

 private:
  void DrawPlot(HDC dc, const TrendFrame& frame, const TrendRect& r, const TrendPlot& plot) const;
};

}  // namespace tavik::console
