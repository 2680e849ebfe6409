// What the pollers have read over the last minutes, for the Trends window:
// a bounded ring of samples per poller (power data, ranges, encoders), fed
// with each step's result from the worker threads and copied out whole by
// the window. A failed read is a sample of its own, so that a plot leaves a
// gap rather than drawing a zero; a poller that stops ends its line with a
// sample that says so. Memory is fixed by the capacity whatever the run time.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "facts/drvb_facts.h"

namespace tavik::console {

using drvb::kEncoderCountsPerMm;

enum class TrendSource { kPower, kRanges, kEncoders };
inline constexpr std::size_t kTrendSources = 3;

struct TrendSample {
  enum class Kind : std::uint8_t {
    kValue,   // a good read
    kFailed,  // a failed read: `reason` says why
    kEnded,   // the poller stopped
  };
  double t = 0;  // seconds since the history began
  Kind kind = Kind::kValue;
  // What the board said. Power: mV, mA, device states as bits (bit n for
  // device n); ranges: mm; encoders: left and right counts.
  std::array<std::int32_t, 7> raw{};
  // What is plotted. Power: V, A; ranges: m; encoders: left and right
  // mm/s, NaN on the first read after a start or a gap (no delta yet).
  std::array<float, 7> value{};
  std::string reason;
};

// A fixed number of samples, oldest overwritten first.
class SampleRing {
 public:
  explicit SampleRing(std::size_t capacity);
  void push(TrendSample sample);
  std::size_t size() const { return size_; }
  // i = 0 is the oldest kept.
  const TrendSample& operator[](std::size_t i) const { return slots_[(head_ + i) % slots_.size()]; }
  const TrendSample* newest() const { return size_ == 0 ? nullptr : &(*this)[size_ - 1]; }
  // The samples at or after `since`, oldest first.
  std::vector<TrendSample> since(double since) const;

 private:
  std::vector<TrendSample> slots_;
  std::size_t head_ = 0;  // the oldest
  std::size_t size_ = 0;
};

// The samples of the last `span_s` seconds of each poller, as the window
// draws and saves them.
struct TrendSnapshot {
  double t_end = 0;   // the time the window shows as "now"
  double span_s = 0;  // the time axis covers [t_end - span_s, t_end]
  std::array<std::vector<TrendSample>, kTrendSources> samples;
  // When the history began, on the calendar.
  std::chrono::system_clock::time_point wall_origin;
  const std::vector<TrendSample>& of(TrendSource source) const {
    return samples[static_cast<std::size_t>(source)];
  }
};

class TrendHistory {
 public:
  using Clock = std::chrono::steady_clock;
  // The time axis: the last two minutes.
  static constexpr double kSpanS = 120;
  // Enough for every poller at 20 reads a second over the span; the
  // pollers read ten a second.
  static constexpr std::size_t kCapacity = 2400;

  explicit TrendHistory(Clock::time_point origin = Clock::now(),
                        std::chrono::system_clock::time_point wall_origin = std::chrono::system_clock::now());

  // One poller step's result, from its worker. `reason` is for a failed read.
  void add_power(Clock::time_point at, int battery_mv, int current_ma, std::uint32_t device_bits);
  void add_ranges(Clock::time_point at, const float (&ranges_m)[7]);
  void add_encoders(Clock::time_point at, int left, int right);
  void add_failure(TrendSource source, Clock::time_point at, const std::string& reason);
  // The poller of `source` stopped: its line ends here.
  void end(TrendSource source, Clock::time_point at);

  // Copies the last kSpanS seconds up to `now`.
  TrendSnapshot snapshot(Clock::time_point now = Clock::now()) const;
  // Counts the samples added; the window redraws when it changes.
  std::uint64_t version() const;

 private:
  double seconds(Clock::time_point at) const { return std::chrono::duration<double>(at - origin_).count(); }
  void push(TrendSource source, TrendSample sample);

  const Clock::time_point origin_;
  const std::chrono::system_clock::time_point wall_origin_;
  mutable std::mutex mutex_;
  std::array<SampleRing, kTrendSources> rings_;
  std::uint64_t version_ = 0;
};

// How a Trends window follows the history: it looks every kRefresh and takes
// a new snapshot when reads came in since its last one, or when a second
// passed without any, so that the time axis still moves on.
class TrendFollower {
 public:
  static constexpr std::chrono::milliseconds kRefresh{250};

  explicit TrendFollower(const TrendHistory& history) : history_(history) {}
  // A new snapshot when one is due, always with `force`; else nothing.
  std::optional<TrendSnapshot> take(bool force = false,
                                    TrendHistory::Clock::time_point now = TrendHistory::Clock::now());

 private:
  static constexpr std::chrono::seconds kIdleRedraw{1};
  const TrendHistory& history_;
  std::uint64_t version_ = 0;
  std::optional<TrendHistory::Clock::time_point> taken_;
};

}  // namespace tavik::console
