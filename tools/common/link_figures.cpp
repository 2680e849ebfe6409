#include "link_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavik::cli {
namespace {

// Hundredths of a millisecond, as a JSON number without binary noise.
double hundredths(double ms) { return std::round(ms * 100) / 100; }

}  // namespace

double LinkFigures::median_ms() const {
  unsigned below = 0;  // the round trips in the bins before this one
  for (const auto& [hundredths_ms, count] : round_trips_) {
    if (below + count > answered_ / 2) return static_cast<double>(hundredths_ms) / 100;
    below += count;
  }
  return 0;
}

void LinkFigures::add(const std::vector<Step>& steps, double t) {
  for (const Step& step : steps) {
    if (step.same_exchange) continue;
    ++exchanges_;
    if (step.result.is_ok()) {
      ++round_trips_[std::lround(step.round_trip_ms * 100)];
      ++answered_;
      if (lost()) {
        ++returns_;
        lost_s_ += t - lost_since_;
        lost_since_ = -1;
      }
    } else {
      ++failures_[failure_name(step.result.failure)];
      const bool gone = is_port_loss(step.result.failure);
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
  if (answered_ > 0) {
    figures["round_trip_ms"] = {{"median", hundredths(median_ms())}, {"worst", hundredths(worst_ms())}};
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
  if (answered_ > 0) {
    char buf[96];
    std::snprintf(buf, sizeof buf, ", round trip median %.2f ms, worst %.2f ms", median_ms(), worst_ms());
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
