#include "link_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavik::cli {
namespace {

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// Hundredths of a millisecond, as a JSON number without binary noise.
double hundredths(double ms) { return std::round(ms * 100) / 100; }

}  // namespace

void LinkFigures::add(const std::vector<Step>& steps, double t) {
  for (const Step& step : steps) {
    ++exchanges_;
    if (step.result.is_ok()) {
      round_trips_ms_.push_back(step.round_trip_ms);
      if (lost()) {
        ++returns_;
        lost_s_ += t - lost_since_;
        lost_since_ = -1;
      }
    } else {
      ++failures_[failure_name(step.result.failure)];
      const bool gone =
          step.result.failure == Failure::kDeviceLost || step.result.failure == Failure::kConnectionLost;
      if (gone && !lost()) {
        ++outages_;
        lost_since_ = t;
      }
    }
  }
}

Json LinkFigures::summary(double t, unsigned late) const {
  Json failures = Json::object();
  for (const auto& [reason, count] : failures_) failures[reason] = count;
  Json figures{{"exchanges", exchanges_}, {"failures", failures}};
  if (!round_trips_ms_.empty()) {
    figures["round_trip_ms"] = {
        {"median", hundredths(median(round_trips_ms_))},
        {"worst", hundredths(*std::max_element(round_trips_ms_.begin(), round_trips_ms_.end()))}};
  }
  figures["lost"] = {
      {"outages", outages_}, {"returns", returns_}, {"seconds", std::round(seconds_lost(t) * 1000) / 1000}};
  figures["late_replies"] = late;
  return figures;
}

std::string LinkFigures::text(double t, unsigned late) const {
  int failed = 0;
  std::string reasons;
  for (const auto& [reason, count] : failures_) {
    failed += count;
    reasons += (reasons.empty() ? "" : ", ") + reason + " " + std::to_string(count);
  }
  std::string out = std::to_string(exchanges_) + " exchanges, " + std::to_string(failed) + " failed";
  if (failed > 0) out += " (" + reasons + ")";
  if (!round_trips_ms_.empty()) {
    char buf[96];
    std::snprintf(buf, sizeof buf, ", round trip median %.2f ms, worst %.2f ms", median(round_trips_ms_),
                  *std::max_element(round_trips_ms_.begin(), round_trips_ms_.end()));
    out += buf;
  }
  if (outages_ > 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, ", lost %d time%s for %.2f s, came back %d time%s", outages_,
                  outages_ == 1 ? "" : "s", seconds_lost(t), returns_, returns_ == 1 ? "" : "s");
    out += buf;
  }
  if (late > 0) out += ", " + std::to_string(late) + (late == 1 ? " late reply" : " late replies");
  return out;
}

}  // namespace tavik::cli
