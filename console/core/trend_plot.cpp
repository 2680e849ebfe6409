#include "console/core/trend_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "facts/psb_facts.h"

namespace tavik::console {
namespace {

using Kind = TrendSample::Kind;

// Good reads further apart than this are not joined by a line (the console
// was held up, or the machine slept).
constexpr double kLongestStepS = 2.0;
// The hover text takes a read this close to the pointer's time.
constexpr double kHoverReachS = 0.25;

struct AxisDefault {
  const char* unit;
  double low, high;
  bool from_zero;  // the axis always shows 0
};

// Nice steps: 1, 2 or 5 times a power of ten, about four to a plot.
double tick_step(double range) {
  const double rough = range / 4;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double m : {1.0, 2.0, 5.0}) {
    if (m * power >= rough) return m * power;
  }
  return 10 * power;
}

TrendAxis make_axis(const AxisDefault& d, double low, double high) {
  TrendAxis axis;
  axis.unit = d.unit;
  if (!(low <= high)) {
    low = d.low;
    high = d.high;
  }
  if (d.from_zero) {
    low = std::min(low, 0.0);
    high = std::max(high, 0.0);
  }
  // A little room so that a line at its extreme is not drawn on the frame.
  const double room = (high - low) * 0.05;
  if (low < 0 || !d.from_zero) low -= room;
  if (high > 0 || !d.from_zero) high += room;
  if (high - low < 1e-6) {
    const double pad = std::max(std::abs(high) * 0.05, 0.1);
    low -= pad;
    high += pad;
  }
  const double step = tick_step(high - low);
  axis.low = std::floor(low / step + 1e-9) * step;
  axis.high = std::ceil(high / step - 1e-9) * step;
  // A line within a tenth of a step of the frame would be hidden by it.
  if (axis.high - high < step / 10 && high > 0) axis.high += step;
  if (low - axis.low < step / 10 && low < 0) axis.low -= step;
  if (axis.high - axis.low < step) axis.high = axis.low + step;
  for (double v = axis.low; v <= axis.high + step / 2; v += step)
    axis.ticks.push_back(std::abs(v) < step / 1e6 ? 0 : v);
  axis.decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  return axis;
}

bool usable(const TrendSample& s, std::size_t field) {
  return s.kind == Kind::kValue && std::isfinite(s.value[field]);
}

}  // namespace

const std::vector<TrendSeries>& trend_series() {
  static const std::vector<TrendSeries> all = {
      {"battery", TrendSource::kPower, 0, 0, false, 0x1f6fd0},
      {"current", TrendSource::kPower, 1, 0, true, 0xd0501f},
      {"left", TrendSource::kEncoders, 0, 1, false, 0x2a9d3a},
      {"right", TrendSource::kEncoders, 1, 1, false, 0x8a3ac0},
      {psb::kRangeSensors[0].label, TrendSource::kRanges, 0, 2, false, 0x202020},
      {psb::kRangeSensors[1].label, TrendSource::kRanges, 1, 2, false, 0x1f6fd0},
      {psb::kRangeSensors[2].label, TrendSource::kRanges, 2, 2, false, 0xd0501f},
      {psb::kRangeSensors[3].label, TrendSource::kRanges, 3, 2, false, 0x2a9d3a},
      {psb::kRangeSensors[4].label, TrendSource::kRanges, 4, 2, false, 0x8a3ac0},
      {psb::kRangeSensors[5].label, TrendSource::kRanges, 5, 2, false, 0x10a0a8},
      {psb::kRangeSensors[6].label, TrendSource::kRanges, 6, 2, false, 0xc09010},
  };
  return all;
}

std::string TrendAxis::label(double value) const {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

TrendFrame frame_trends(const TrendSnapshot& snapshot) {
  static const AxisDefault kLeft[] = {{"V", 0, 15, false}, {"mm/s", -100, 100, true}, {"m", 0, 3, true}};
  static const AxisDefault kRight = {"A", 0, 5, true};
  static const char* const kTitles[] = {"Battery", "Wheel speed", "Ranges"};

  TrendFrame frame;
  frame.span_s = snapshot.span_s;
  const double t0 = snapshot.t_end - snapshot.span_s;
  // The axes fit the values shown.
  std::array<std::array<double, 2>, 3> low, high;
  for (auto& l : low) l.fill(std::numeric_limits<double>::infinity());
  for (auto& h : high) h.fill(-std::numeric_limits<double>::infinity());
  for (const TrendSeries& series : trend_series()) {
    const int side = series.right_axis ? 1 : 0;
    for (const TrendSample& s : snapshot.of(series.source)) {
      if (!usable(s, series.field) || s.t < t0) continue;
      low[series.plot][side] = std::min(low[series.plot][side], static_cast<double>(s.value[series.field]));
      high[series.plot][side] = std::max(high[series.plot][side], static_cast<double>(s.value[series.field]));
    }
  }
  for (int p = 0; p < 3; ++p) {
    TrendPlot& plot = frame.plots[p];
    plot.title = kTitles[p];
    plot.left = make_axis(kLeft[p], low[p][0], high[p][0]);
    plot.has_right = p == 0;
    if (plot.has_right) plot.right = make_axis(kRight, low[p][1], high[p][1]);
  }
  for (const TrendSeries& series : trend_series()) {
    TrendPlot& plot = frame.plots[series.plot];
    const TrendAxis& axis = series.right_axis ? plot.right : plot.left;
    TrendLine line{&series, {}};
    bool open = false;
    double last_t = 0;
    for (const TrendSample& s : snapshot.of(series.source)) {
      if (!usable(s, series.field)) {
        open = false;
        continue;
      }
      if (open && s.t - last_t > kLongestStepS) open = false;
      last_t = s.t;
      const auto x = static_cast<float>((s.t - t0) / snapshot.span_s);
      const auto y = static_cast<float>(axis.fraction(s.value[series.field]));
      if (x < 0 || x > 1) {
        open = false;
        continue;
      }
      if (!open) line.runs.emplace_back();
      line.runs.back().push_back({x, y});
      open = true;
    }
    plot.lines.push_back(std::move(line));
  }
  const double step = snapshot.span_s >= 60 ? 20 : 10;
  for (double before = std::floor(snapshot.span_s / step) * step; before >= 0; before -= step) {
    frame.time_tick_x.push_back(static_cast<float>(1.0 - before / snapshot.span_s));
    char label[24];
    std::snprintf(label, sizeof label, "%.0f s", before == 0 ? 0.0 : -before);
    frame.time_labels.push_back(label);
  }
  return frame;
}

std::array<TrendRect, 3> layout_trend_plots(int width, int height, int top, int char_width, int line_height) {
  const int left_margin = 7 * char_width;  // "-1000" and a gap
  const int right_margin = 6 * char_width;
  const int title = line_height + line_height / 2;  // a title and legend line above each plot
  const int time_labels = line_height + 4;          // below the last plot
  const int gap = line_height / 2;
  const int plot_height = std::max(10, (height - top - time_labels - 3 * title - 2 * gap) / 3);
  std::array<TrendRect, 3> rects{};
  int y = top;
  for (int p = 0; p < 3; ++p) {
    y += title;
    rects[p] = {left_margin, y, std::max(10, width - left_margin - right_margin), plot_height};
    y += plot_height + gap;
  }
  return rects;
}

double trend_time_at(const TrendSnapshot& snapshot, double x) {
  return snapshot.t_end - snapshot.span_s + x * snapshot.span_s;
}

std::string trend_values_at(const TrendSnapshot& snapshot, double t) {
  auto nearest = [&](TrendSource source) -> const TrendSample* {
    const TrendSample* best = nullptr;
    for (const TrendSample& s : snapshot.of(source)) {
      if (s.kind == Kind::kEnded) continue;
      if (std::abs(s.t - t) <= kHoverReachS && (!best || std::abs(s.t - t) < std::abs(best->t - t)))
        best = &s;
    }
    return best;
  };
  auto fixed = [](double v, int decimals, const char* unit) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f %s", decimals, v, unit);
    return std::string(text);
  };
  char head[32];
  std::snprintf(head, sizeof head, "%.1f s", t - snapshot.t_end);
  std::string text = head;
  auto add = [&](const char* what, const TrendSample* s, auto&& values) {
    text += std::string("\n") + what + ": ";
    if (!s)
      text += "no reading";
    else if (s->kind == Kind::kFailed)
      text += "failed (" + s->reason + ")";
    else
      text += values(*s);
  };
  add("battery", nearest(TrendSource::kPower), [&](const TrendSample& s) {
    return fixed(s.value[0], 2, "V") + ", current " + fixed(s.value[1], 2, "A");
  });
  add("wheels", nearest(TrendSource::kEncoders), [&](const TrendSample& s) {
    if (!std::isfinite(s.value[0])) return std::string("first read, no speed yet");
    return "left " + fixed(s.value[0], 0, "mm/s") + ", right " + fixed(s.value[1], 0, "mm/s");
  });
  add("ranges", nearest(TrendSource::kRanges), [&](const TrendSample& s) {
    std::string all;
    for (std::size_t i = 0; i < 7; ++i) {
      char one[24];
      std::snprintf(one, sizeof one, "%s%.3f", i ? " " : "", static_cast<double>(s.value[i]));
      all += one;
    }
    return all + " m";
  });
  return text;
}

}  // namespace tavik::console
