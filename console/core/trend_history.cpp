#include "console/core/trend_history.h"

#include <cmath>
#include <limits>
#include <utility>

namespace tavik::console {
namespace {

constexpr float kNoSample = std::numeric_limits<float>::quiet_NaN();

}  // namespace

SampleRing::SampleRing(std::size_t capacity) : slots_(capacity == 0 ? 1 : capacity) {}

void SampleRing::push(TrendSample sample) {
  if (size_ < slots_.size()) {
    slots_[(head_ + size_) % slots_.size()] = std::move(sample);
    ++size_;
  } else {
    slots_[head_] = std::move(sample);
    head_ = (head_ + 1) % slots_.size();
  }
}

std::vector<TrendSample> SampleRing::since(double since) const {
  // Times only grow, so the kept part is a suffix.
  std::size_t first = size_;
  while (first > 0 && (*this)[first - 1].t >= since) --first;
  std::vector<TrendSample> out;
  out.reserve(size_ - first);
  for (std::size_t i = first; i < size_; ++i) out.push_back((*this)[i]);
  return out;
}

TrendHistory::TrendHistory(Clock::time_point origin, std::chrono::system_clock::time_point wall_origin)
    : origin_(origin),
      wall_origin_(wall_origin),
      rings_{SampleRing(kCapacity), SampleRing(kCapacity), SampleRing(kCapacity)} {}

void TrendHistory::push(TrendSource source, TrendSample sample) {
  // Called with mutex_ held.
  rings_[static_cast<std::size_t>(source)].push(std::move(sample));
  ++version_;
}

void TrendHistory::add_power(Clock::time_point at, int battery_mv, int current_ma,
                             std::uint32_t device_bits) {
  TrendSample s;
  s.t = seconds(at);
  s.raw[0] = battery_mv;
  s.raw[1] = current_ma;
  s.raw[2] = static_cast<std::int32_t>(device_bits);
  s.value[0] = static_cast<float>(battery_mv / 1000.0);
  s.value[1] = static_cast<float>(current_ma / 1000.0);
  std::lock_guard lock(mutex_);
  push(TrendSource::kPower, std::move(s));
}

void TrendHistory::add_ranges(Clock::time_point at, const float (&ranges_m)[7]) {
  TrendSample s;
  s.t = seconds(at);
  for (std::size_t i = 0; i < 7; ++i) {
    s.value[i] = ranges_m[i];
    s.raw[i] = static_cast<std::int32_t>(std::lround(static_cast<double>(ranges_m[i]) * 1000.0));
  }
  std::lock_guard lock(mutex_);
  push(TrendSource::kRanges, std::move(s));
}

void TrendHistory::add_encoders(Clock::time_point at, int left, int right) {
  TrendSample s;
  s.t = seconds(at);
  s.raw[0] = left;
  s.raw[1] = right;
  s.value.fill(kNoSample);
  std::lock_guard lock(mutex_);
  // A speed needs the read before to have been good: after a start, a failed
  // read or a stop this read is only the new starting point.
  const TrendSample* before = rings_[static_cast<std::size_t>(TrendSource::kEncoders)].newest();
  if (before && before->kind == TrendSample::Kind::kValue && s.t > before->t) {
    const double dt = s.t - before->t;
    for (std::size_t i = 0; i < 2; ++i) {
      s.value[i] = static_cast<float>(drvb::count_delta(before->raw[i], s.raw[i]) / kEncoderCountsPerMm / dt);
    }
  }
  push(TrendSource::kEncoders, std::move(s));
}

void TrendHistory::add_failure(TrendSource source, Clock::time_point at, const std::string& reason) {
  TrendSample s;
  s.t = seconds(at);
  s.kind = TrendSample::Kind::kFailed;
  s.value.fill(kNoSample);
  s.reason = reason;
  std::lock_guard lock(mutex_);
  push(source, std::move(s));
}

void TrendHistory::end(TrendSource source, Clock::time_point at) {
  TrendSample s;
  s.t = seconds(at);
  s.kind = TrendSample::Kind::kEnded;
  s.value.fill(kNoSample);
  std::lock_guard lock(mutex_);
  push(source, std::move(s));
}

TrendSnapshot TrendHistory::snapshot(Clock::time_point now) const {
  TrendSnapshot snap;
  snap.t_end = seconds(now);
  snap.span_s = kSpanS;
  snap.wall_origin = wall_origin_;
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < kTrendSources; ++i) snap.samples[i] = rings_[i].since(snap.t_end - kSpanS);
  return snap;
}

std::uint64_t TrendHistory::version() const {
  std::lock_guard lock(mutex_);
  return version_;
}

std::optional<TrendSnapshot> TrendFollower::take(bool force, TrendHistory::Clock::time_point now) {
  // The version before the copy: a read that comes in between is taken next time.
  const std::uint64_t version = history_.version();
  if (!force && taken_ && version == version_ && now - *taken_ < kIdleRedraw) return std::nullopt;
  version_ = version;
  taken_ = now;
  return history_.snapshot(now);
}

}  // namespace tavik::console
