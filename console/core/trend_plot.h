// The Trends window's three plots, worked out from a snapshot without a
// toolkit so that both views draw the same: battery voltage and current on
// two axes, the wheel speeds, the seven ranges. Each line is cut into runs
// of good reads; a failed read or a stopped poller ends a run, so a plot
// shows a gap and never a made-up zero.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "console/core/trend_history.h"

namespace tavik::console {

struct TrendSeries {
  const char* name;
  TrendSource source;
  std::size_t field;  // index into TrendSample::value
  int plot;           // 0, 1 or 2
  bool right_axis;
  std::uint32_t rgb;  // 0xRRGGBB
};
// Every plotted series, plot by plot.
const std::vector<TrendSeries>& trend_series();

struct TrendAxis {
  std::string unit;  // "V", "A", "mm/s", "m"
  double low = 0, high = 1;
  std::vector<double> ticks;
  int decimals = 0;
  // A tick's label, e.g. "12.5".
  std::string label(double value) const;
  // Where `value` stands in the plot's height, 0 at the bottom and 1 at the
  // top: the axis' ends lie a little inside, so that no line (a 0 mm/s
  // line, say) is drawn on the frame.
  double fraction(double value) const { return kEdge + (1 - 2 * kEdge) * (value - low) / (high - low); }
  static constexpr double kEdge = 0.02;
};

// A point in a plot's area: x from 0 (the oldest time shown) to 1 (now),
// y from 0 (the plot's bottom) to 1 (its top), as TrendAxis::fraction places values.
struct TrendPoint {
  float x, y;
};

struct TrendLine {
  const TrendSeries* series;
  std::vector<std::vector<TrendPoint>> runs;  // a run of one point is drawn as a dot
};

struct TrendPlot {
  std::string title;
  TrendAxis left;
  bool has_right = false;
  TrendAxis right;
  std::vector<TrendLine> lines;
};

struct TrendFrame {
  std::array<TrendPlot, 3> plots;
  double span_s = 0;
  // The time grid: places on the x axis and their labels ("-120 s" ... "0 s").
  std::vector<float> time_tick_x;
  std::vector<std::string> time_labels;
};

TrendFrame frame_trends(const TrendSnapshot& snapshot);

// Where a view puts the three plots' areas in a client area of `width` x
// `height` pixels below `top`, with room for the axes' labels in a font whose
// digits are `char_width` wide and whose lines are `line_height` high.
struct TrendRect {
  int x, y, width, height;
  bool contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }
};
std::array<TrendRect, 3> layout_trend_plots(int width, int height, int top, int char_width, int line_height);

// The time under x (0..1) in a plot area, in seconds since the history began.
double trend_time_at(const TrendSnapshot& snapshot, double x);
// What the boards said nearest to time `t`, one line per plot, for the
// hover text: "-12.3 s  battery 12.61 V  current 2.00 A".
std::string trend_values_at(const TrendSnapshot& snapshot, double t);

}  // namespace tavik::console
