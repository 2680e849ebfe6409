#include "console/win32/trend_plot_painter.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "console/win32/utf16_text.h"

namespace tavik::console {
namespace {

constexpr COLORREF kPlotBackground = RGB(255, 255, 255);
constexpr COLORREF kGrid = RGB(224, 224, 224);
constexpr COLORREF kFrame = RGB(128, 128, 128);
constexpr COLORREF kCursor = RGB(64, 64, 64);

COLORREF colour(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A pen selected for a scope and deleted after it.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), old_(::SelectObject(dc, object)) {}
  ~Selected() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(object_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_, old_;
};

void text_at(HDC dc, const std::string& text, RECT place, UINT format, COLORREF rgb) {
  ::SetTextColor(dc, rgb);
  const std::wstring wide = widen(text);
  ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &place, format | DT_SINGLELINE | DT_NOPREFIX);
}

int text_width(HDC dc, const std::string& text) {
  const std::wstring wide = widen(text);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  return size.cx;
}

void fill(HDC dc, const RECT& area, COLORREF rgb) {
  const HBRUSH brush = ::CreateSolidBrush(rgb);
  ::FillRect(dc, &area, brush);
  ::DeleteObject(brush);
}

void horizontal(HDC dc, int x0, int x1, int y) {
  ::MoveToEx(dc, x0, y, nullptr);
  ::LineTo(dc, x1, y);
}

void vertical(HDC dc, int x, int y0, int y1) {
  ::MoveToEx(dc, x, y0, nullptr);
  ::LineTo(dc, x, y1);
}

int pixel_x(const TrendRect& r, double x) { return r.x + static_cast<int>(x * (r.width - 1) + 0.5); }
int pixel_y(const TrendRect& r, double y) { return r.y + static_cast<int>((1 - y) * (r.height - 1) + 0.5); }

}  // namespace

void TrendPlotPainter::Draw(HDC dc, const RECT& client, const TrendFrame& frame,
                            const std::array<TrendRect, 3>& rects, double hover_x) const {
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_3DFACE));
  const HGDIOBJ old_font = ::SelectObject(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  for (std::size_t p = 0; p < rects.size(); ++p) DrawPlot(dc, frame, rects[p], frame.plots[p]);

  const TrendRect& last = rects[2];
  const int label_top = last.y + last.height + 2;
  for (std::size_t i = 0; i < frame.time_labels.size(); ++i) {
    const int x = pixel_x(last, frame.time_tick_x[i]);
    text_at(dc, frame.time_labels[i],
            {x - 5 * char_width, label_top, x + 5 * char_width, label_top + line_height}, DT_CENTER,
            ::GetSysColor(COLOR_WINDOWTEXT));
  }

  if (hover_x >= 0) {
    Selected pen(dc, ::CreatePen(PS_SOLID, 1, kCursor));
    for (const TrendRect& r : rects) vertical(dc, pixel_x(r, hover_x), r.y, r.y + r.height);
  }
  ::SelectObject(dc, old_font);
}

void TrendPlotPainter::DrawPlot(HDC dc, const TrendFrame& frame, const TrendRect& r,
                                const TrendPlot& plot) const {
  const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
  const RECT area{r.x, r.y, r.x + r.width, r.y + r.height};
  fill(dc, area, kPlotBackground);

  // The grid at the left axis' ticks and the time ticks, and the frame.
  {
    Selected pen(dc, ::CreatePen(PS_SOLID, 1, kGrid));
    for (double tick : plot.left.ticks)
      horizontal(dc, r.x, r.x + r.width, pixel_y(r, plot.left.fraction(tick)));
    for (float x : frame.time_tick_x) vertical(dc, pixel_x(r, x), r.y, r.y + r.height);
  }
  {
    Selected pen(dc, ::CreatePen(PS_SOLID, 1, kFrame));
    const HGDIOBJ old_brush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
    ::Rectangle(dc, area.left, area.top, area.right, area.bottom);
    ::SelectObject(dc, old_brush);
  }

  // Tick labels beside the plot, kept within its height so that the first
  // and last do not run into the time labels or the title line.
  auto tick_labels = [&](const TrendAxis& axis, int left, int right, UINT align) {
    for (double tick : axis.ticks) {
      const int top = std::clamp(pixel_y(r, axis.fraction(tick)) - line_height / 2, r.y - 2,
                                 r.y + r.height + 2 - line_height);
      text_at(dc, axis.label(tick), {left, top, right, top + line_height}, align, text);
    }
  };
  const int gap = char_width / 2 + 1;
  const int title_top = r.y - line_height - 3;
  tick_labels(plot.left, 0, r.x - gap, DT_RIGHT);
  text_at(dc, plot.left.unit, {0, title_top, r.x - gap, title_top + line_height}, DT_RIGHT, text);
  const int right_x = r.x + r.width + gap;
  if (plot.has_right) {
    tick_labels(plot.right, right_x, right_x + 8 * char_width, DT_LEFT);
    text_at(dc, plot.right.unit, {right_x, title_top, right_x + 8 * char_width, title_top + line_height},
            DT_LEFT, text);
  }

  // The title, then each series' name in its colour.
  int x = r.x;
  const int line_end = r.x + r.width;
  text_at(dc, plot.title, {x, title_top, line_end, title_top + line_height}, DT_LEFT, text);
  x += text_width(dc, plot.title) + 2 * char_width;
  for (const TrendLine& line : plot.lines) {
    text_at(dc, line.series->name, {x, title_top, line_end, title_top + line_height}, DT_LEFT,
            colour(line.series->rgb));
    x += text_width(dc, line.series->name) + char_width + char_width / 2;
  }

  // The lines, run by run; a run of one read is a dot.
  const int saved = ::SaveDC(dc);
  ::IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
  std::vector<POINT> points;
  for (const TrendLine& line : plot.lines) {
    const COLORREF rgb = colour(line.series->rgb);
    Selected pen(dc, ::CreatePen(PS_SOLID, 2, rgb));
    for (const std::vector<TrendPoint>& run : line.runs) {
      points.clear();
      for (const TrendPoint& point : run) points.push_back({pixel_x(r, point.x), pixel_y(r, point.y)});
      if (points.size() == 1) {
        fill(dc, {points[0].x - 1, points[0].y - 1, points[0].x + 2, points[0].y + 2}, rgb);
      } else {
        ::Polyline(dc, points.data(), static_cast<int>(points.size()));
      }
    }
  }
  ::RestoreDC(dc, saved);
}

}  // namespace tavik::console
