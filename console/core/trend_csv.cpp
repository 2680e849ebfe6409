#include "console/core/trend_csv.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <optional>

#include "recording/recording_csv.h"

namespace tavik::console {
namespace {

using Kind = TrendSample::Kind;

// The pollers' period: reads closer than this make one row.
constexpr double kRowS = 0.1;

}  // namespace

std::string trends_csv(const TrendSnapshot& snapshot) {
  std::array<std::size_t, kTrendSources> next{};
  auto skip_ends = [&] {
    for (std::size_t i = 0; i < kTrendSources; ++i) {
      const auto& samples = snapshot.samples[i];
      while (next[i] < samples.size() && samples[next[i]].kind == Kind::kEnded) ++next[i];
    }
  };
  auto first_time = [&]() -> std::optional<double> {
    std::optional<double> first;
    for (std::size_t i = 0; i < kTrendSources; ++i) {
      if (next[i] < snapshot.samples[i].size()) {
        const double t = snapshot.samples[i][next[i]].t;
        if (!first || t < *first) first = t;
      }
    }
    return first;
  };
  skip_ends();
  const std::optional<double> start = first_time();
  const double origin = start.value_or(snapshot.t_end);
  const auto started = snapshot.wall_origin + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                                  std::chrono::duration<double>(origin));
  std::string csv = recording::csv_header() + "\n";
  std::string started_cell = recording::utc_text(started);
  double last_t = -1;
  for (std::optional<double> row_t = start; row_t; skip_ends(), row_t = first_time()) {
    // One read of each poller, the first at row_t and the others within a period of it.
    auto take = [&](TrendSource source) -> const TrendSample* {
      const auto i = static_cast<std::size_t>(source);
      if (next[i] >= snapshot.samples[i].size() || snapshot.samples[i][next[i]].t >= *row_t + kRowS)
        return nullptr;
      return &snapshot.samples[i][next[i]++];
    };
    recording::PsbCells psb;
    recording::DrvbCells drvb;
    recording::FailureReasons psb_reasons, drvb_reasons;
    if (const TrendSample* s = take(TrendSource::kPower)) {
      if (s->kind == Kind::kFailed) {
        psb_reasons.add("read power data", s->reason);
      } else {
        psb.battery_mv = s->raw[0];
        psb.current_ma = s->raw[1];
        std::array<bool, recording::kDeviceCount> devices{};
        for (std::size_t d = 0; d < devices.size(); ++d) devices[d] = (s->raw[2] >> d & 1) != 0;
        psb.devices = devices;
      }
    }
    if (const TrendSample* s = take(TrendSource::kRanges)) {
      if (s->kind == Kind::kFailed) {
        psb_reasons.add("read ranges", s->reason);
      } else {
        std::array<int, recording::kRangeCount> ranges{};
        for (std::size_t r = 0; r < ranges.size(); ++r) ranges[r] = s->raw[r];
        psb.ranges_mm = ranges;
      }
    }
    if (const TrendSample* s = take(TrendSource::kEncoders)) {
      if (s->kind == Kind::kFailed)
        drvb_reasons.add("read encoders", s->reason);
      else
        drvb.encoders = std::array<int, 2>{s->raw[0], s->raw[1]};
    }
    psb.reason = psb_reasons.text();
    drvb.reason = drvb_reasons.text();
    // Rows keep to strictly growing times, as watch's do.
    double t = recording::round_ms(*row_t - origin);
    if (t <= last_t) t = last_t + 0.001;
    last_t = t;
    csv += recording::csv_row(t, psb, drvb, started_cell) + "\n";
    started_cell.clear();  // the first row's only
  }
  return csv;
}

std::string trends_csv_file_name(std::chrono::system_clock::time_point now) {
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  char name[64];
  std::strftime(name, sizeof name, "trends-%Y-%m-%d-%H%M%S.csv", &local);
  return name;
}

}  // namespace tavik::console
