// The Trends window's history, plots and CSV, from scripted samples; and the
// history as the console's pollers fill it against the simulated boards.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "console/core/trend_csv.h"
#include "console/core/trend_plot.h"
#include "recording/recording_csv.h"
#include "sim_console_fixture.h"
#include "tests/support/records/csv_reader.h"

namespace tavik::test {
namespace {

using console::TrendHistory;
using console::TrendSample;
using console::TrendSource;
using Kind = TrendSample::Kind;

const TrendHistory::Clock::time_point kOrigin{};
TrendHistory::Clock::time_point at(double seconds) {
  return kOrigin +
         std::chrono::duration_cast<TrendHistory::Clock::duration>(std::chrono::duration<double>(seconds));
}

// One scripted event: a source's read at a time.
struct Event {
  double t;
  TrendSource source;
  Kind kind;
  std::int32_t a = 0, b = 0;  // power mV/mA, encoder counts; ranges: the first range in mm
};

void feed(TrendHistory& history, const std::vector<Event>& events) {
  for (const Event& e : events) {
    if (e.kind == Kind::kEnded) {
      history.end(e.source, at(e.t));
    } else if (e.kind == Kind::kFailed) {
      history.add_failure(e.source, at(e.t), "no reply");
    } else if (e.source == TrendSource::kPower) {
      history.add_power(at(e.t), e.a, e.b, 0b1000001);
    } else if (e.source == TrendSource::kEncoders) {
      history.add_encoders(at(e.t), e.a, e.b);
    } else {
      const float m = static_cast<float>(e.a) / 1000.0f;
      const float ranges[7] = {m, m, m, m, m, m, m};
      history.add_ranges(at(e.t), ranges);
    }
  }
}

TEST(TrendRing, KeepsTheNewestInOrderWhenItWraps) {
  for (const std::size_t pushed : {0u, 2u, 3u, 7u}) {
    console::SampleRing ring(3);
    for (std::size_t i = 0; i < pushed; ++i) {
      TrendSample sample;
      sample.t = static_cast<double>(i);
      ring.push(sample);
    }
    ASSERT_EQ(ring.size(), std::min<std::size_t>(pushed, 3)) << pushed;
    for (std::size_t i = 0; i < ring.size(); ++i)
      EXPECT_EQ(ring[i].t, static_cast<double>(static_cast<int>(pushed - ring.size() + i)));
    EXPECT_EQ(ring.since(static_cast<double>(static_cast<int>(pushed)) - 2.5).size(),
              std::min<std::size_t>(pushed, 2))
        << pushed;
  }
}

// Wheel speeds from count deltas: 5 counts a millimetre, the counters wrap
// at 32 bits, and no speed is made up across a failed read or a stop.
TEST(TrendHistory, WheelSpeedsFromCountDeltas) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    const char* name;
    std::vector<Event> events;
    float left, right;  // speed of the last read; NaN for none
  };
  const float none = std::numeric_limits<float>::quiet_NaN();
  const Case cases[] = {
      {"first read", {{1.0, TrendSource::kEncoders, Kind::kValue, 10, 10}}, none, none},
      {"forward and back",
       {{1.0, TrendSource::kEncoders, Kind::kValue, 0, 0},
        {1.1, TrendSource::kEncoders, Kind::kValue, 100, -50}},
       200,
       -100},
      {"wrap",
       {{1.0, TrendSource::kEncoders, Kind::kValue, kMax - 249, -kMax + 10},
        {1.2, TrendSource::kEncoders, Kind::kValue, -kMax + 250, -kMax - 1}},
       501,
       -11},
      {"after a failure",
       {{1.0, TrendSource::kEncoders, Kind::kValue, 0, 0},
        {1.1, TrendSource::kEncoders, Kind::kFailed},
        {1.2, TrendSource::kEncoders, Kind::kValue, 100, 100}},
       none,
       none},
      {"after a stop",
       {{1.0, TrendSource::kEncoders, Kind::kValue, 0, 0},
        {1.1, TrendSource::kEncoders, Kind::kEnded},
        {5.0, TrendSource::kEncoders, Kind::kValue, 100, 100}},
       none,
       none},
  };
  for (const Case& c : cases) {
    TrendHistory history(kOrigin);
    feed(history, c.events);
    const auto snap = history.snapshot(at(10));
    const auto& samples = snap.of(TrendSource::kEncoders);
    ASSERT_FALSE(samples.empty()) << c.name;
    const TrendSample& last = samples.back();
    if (std::isnan(c.left)) {
      EXPECT_TRUE(std::isnan(last.value[0]) && std::isnan(last.value[1])) << c.name;
    } else {
      EXPECT_NEAR(last.value[0], c.left, 0.01) << c.name;
      EXPECT_NEAR(last.value[1], c.right, 0.01) << c.name;
    }
  }
}

// Memory stays fixed however long the console runs, and the window holds
// the last two minutes only.
TEST(TrendHistory, BoundedWhateverTheRunTime) {
  TrendHistory history(kOrigin);
  std::vector<Event> events;
  for (int i = 0; i < 20 * 600; ++i)
    events.push_back({i * 0.05, TrendSource::kPower, Kind::kValue, 12000, 100});
  feed(history, events);
  const auto snap = history.snapshot(at(600));
  const auto& power = snap.of(TrendSource::kPower);
  EXPECT_LE(power.size(), TrendHistory::kCapacity);
  EXPECT_EQ(power.size(), 2400u);  // 120 s at 20 a second
  EXPECT_GE(power.front().t, 600 - TrendHistory::kSpanS);
  EXPECT_EQ(history.version(), 12000u);
}

// A window takes a new snapshot when reads came in, or a second after its
// last one, or when forced; otherwise it keeps what it shows.
TEST(TrendFollower, TakesASnapshotWhenOneIsDue) {
  TrendHistory history(kOrigin);
  console::TrendFollower follower(history);
  struct Step {
    double t;
    bool add_read, force, taken;
  };
  const Step steps[] = {{1.0, false, false, true},  {1.2, false, false, false}, {1.4, true, false, true},
                        {1.6, false, false, false}, {2.5, false, false, true},  {2.6, false, true, true}};
  for (const Step& step : steps) {
    if (step.add_read) history.add_power(at(step.t), 12000, 1000, 0);
    EXPECT_EQ(follower.take(step.force, at(step.t)).has_value(), step.taken) << step.t;
  }
}

// Each line is cut into runs of good reads: a failed read and a stopped
// poller leave a gap, never a zero; a lone read is a run of one point.
TEST(TrendPlots, GapsAtFailuresAndStops) {
  TrendHistory history(kOrigin);
  feed(history, {{100, TrendSource::kPower, Kind::kValue, 12000, 1000},
                 {100.1, TrendSource::kPower, Kind::kValue, 12400, 3000},
                 {100.2, TrendSource::kPower, Kind::kFailed},
                 {100.3, TrendSource::kPower, Kind::kValue, 12200, 2000},
                 {100.4, TrendSource::kPower, Kind::kEnded},
                 {110, TrendSource::kPower, Kind::kValue, 12100, 2000},
                 {110.1, TrendSource::kPower, Kind::kValue, 12000, 2000},
                 {30, TrendSource::kRanges, Kind::kValue, 1500}});
  const auto frame = console::frame_trends(history.snapshot(at(160)));
  const auto& battery = frame.plots[0].lines[0];
  ASSERT_EQ(battery.runs.size(), 3u);
  EXPECT_EQ(battery.runs[0].size(), 2u);
  EXPECT_EQ(battery.runs[1].size(), 1u);
  EXPECT_EQ(battery.runs[2].size(), 2u);
  // Its axis fits 12.0 .. 12.4 V, the current's own axis 1 .. 3 A.
  const auto& volts = frame.plots[0].left;
  EXPECT_EQ(volts.unit, "V");
  EXPECT_LE(volts.low, 12.0);
  EXPECT_GE(volts.high, 12.4);
  EXPECT_LT(volts.high - volts.low, 1.0);
  EXPECT_EQ(frame.plots[0].right.unit, "A");
  for (const auto& run : battery.runs) {
    for (const auto& p : run) {
      EXPECT_TRUE(p.x > 0 && p.x <= 1 && p.y >= 0 && p.y <= 1) << p.x << "," << p.y;
    }
  }
  // The first read at 100 s is 60 s before the end of a 120 s axis.
  EXPECT_NEAR(battery.runs[0][0].x, 0.5, 1e-4);
  // The ranges read 130 s before the end are out of the window.
  for (const auto& line : frame.plots[2].lines) EXPECT_TRUE(line.runs.empty());

  const std::string text = console::trend_values_at(history.snapshot(at(160)), 100.21);
  EXPECT_NE(text.find("battery: failed (no reply)"), std::string::npos) << text;
  EXPECT_NE(console::trend_values_at(history.snapshot(at(160)), 100.09).find("12.40 V, current 3.00 A"),
            std::string::npos);
}

// The saved CSV has watch's columns: reads of different pollers within a
// period share a row, failures give the board's reason, times start at 0.
TEST(TrendCsv, WatchsColumnsAndTimeRules) {
  TrendHistory history(kOrigin, std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 365 * 56));
  feed(history, {{10.00, TrendSource::kPower, Kind::kValue, 12600, 2000},
                 {10.03, TrendSource::kRanges, Kind::kValue, 1798},
                 {10.05, TrendSource::kEncoders, Kind::kValue, 5, 6},
                 {10.10, TrendSource::kPower, Kind::kFailed},
                 {10.12, TrendSource::kRanges, Kind::kFailed},
                 {10.14, TrendSource::kEncoders, Kind::kEnded},
                 {10.20, TrendSource::kPower, Kind::kValue, 12500, 2100}});
  const std::string text = console::trends_csv(history.snapshot(at(11)));
  const CsvRecording rec = read_csv(text);
  EXPECT_EQ(text.substr(0, text.find('\n')), recording::csv_header());
  EXPECT_EQ(rec.started, "2025-12-18T00:00:10.000Z");
  ASSERT_EQ(rec.rows.size(), 3u) << text;
  for (const auto& row : rec.rows) EXPECT_EQ(row.size(), rec.names.size());
  EXPECT_EQ(rec.cell(0, "t_s"), "0.000");
  EXPECT_EQ(rec.cell(0, "battery_mv"), "12600");
  EXPECT_EQ(rec.cell(0, "power_drive"), "1");
  EXPECT_EQ(rec.cell(0, "power_sensors"), "0");
  EXPECT_EQ(rec.cell(0, "power_servo"), "1");
  EXPECT_EQ(rec.cell(0, "range_front_mm"), "1798");
  EXPECT_EQ(rec.cell(0, "encoder_right"), "6");
  EXPECT_EQ(rec.cell(0, "psb_reason"), "");
  EXPECT_EQ(rec.cell(1, "t_s"), "0.100");
  EXPECT_EQ(rec.cell(1, "battery_mv"), "");
  EXPECT_EQ(rec.cell(1, "psb_reason"), "no reply");  // both reads said the same
  EXPECT_EQ(rec.cell(2, "current_ma"), "2100");
  EXPECT_EQ(rec.cell(2, "encoder_left"), "");
}

// The pollers fill the history: speeds while jogging, a gap while the power
// board's adapter is out, and each line ends when its poller stops.
TEST_F(SimConsoleTest, TrendsFollowThePollers) {
  for (int id : {IDC_POWER_DATA_ENABLE, IDC_USONIC_ENABLE, IDC_ENCODER_ENABLE, IDC_ROBOT_CTRL_ENABLE})
    click(id);
  dlg().OnJogPressed(IDC_FRONT);
  auto speed_seen = [&] {
    const auto snap = dlg().trends().snapshot();
    for (const auto& s : snap.of(TrendSource::kEncoders))
      if (s.kind == Kind::kValue && std::abs(s.value[0] - 200) < 30 && std::abs(s.value[1] - 200) < 30)
        return true;
    return false;
  };
  EXPECT_TRUE(eventually(speed_seen));
  dlg().OnJogReleased();
  sim_.unplug(sim::Board::kPsb);
  auto failed = [&](TrendSource source) {
    const auto snap = dlg().trends().snapshot();
    const auto& samples = snap.of(source);
    return !samples.empty() && samples.back().kind == Kind::kFailed && samples.back().reason == "device lost";
  };
  EXPECT_TRUE(eventually([&] { return failed(TrendSource::kPower) && failed(TrendSource::kRanges); }));
  sim_.replug(sim::Board::kPsb);
  for (int id : {IDC_POWER_DATA_DISABLE, IDC_USONIC_DISABLE, IDC_ENCODER_DISABLE}) click(id);
  EXPECT_TRUE(eventually([&] {
    const auto snap = dlg().trends().snapshot();
    for (const auto& samples : snap.samples)
      if (samples.empty() || samples.back().kind != Kind::kEnded) return false;
    return true;
  }));
  const auto last = dlg().trends().snapshot();
  const auto& power = last.of(TrendSource::kPower);
  EXPECT_GT(power.front().value[0], 10.0f);  // volts
}

}  // namespace
}  // namespace tavik::test
