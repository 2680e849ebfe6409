// The Trends window's real widgets, offscreen: the ways of opening and
// closing it, and the three plots drawn from a scripted history (gaps,
// ended lines, hover values, freezing, the saved CSV).
#include "console/qt/trends_window.h"

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "console/core/trend_csv.h"
#include "console/qt/trend_plot_view.h"
#include "qt_support.h"
#include "tests/support/records/csv_reader.h"

namespace tavik::test {
namespace {

using console::TrendHistory;
using console::TrendSource;

TEST(TrendsWindow, OpensFromF2AndTheContextMenuAndClosesWithEsc) {
  console::ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  const std::function<void()> opens[] = {
      [&] { QTest::keyClick(&view, Qt::Key_F2); },
      [&] {
        when_opens<QMenu>([](QMenu* menu) {
          EXPECT_EQ(menu->actions().back()->text(), "Trends…");
          QTest::keyClick(menu, Qt::Key_Down);
          QTest::keyClick(menu, Qt::Key_Down);
          QTest::keyClick(menu, Qt::Key_Return);
        });
        QPoint surface(view.width() - 20, view.height() - 20);
        QContextMenuEvent event(QContextMenuEvent::Mouse, surface, view.mapToGlobal(surface));
        QApplication::sendEvent(&view, &event);
      },
  };
  for (const auto& open : opens) {
    open();
    ASSERT_TRUE(wait_until([&] { return view.trends() && view.trends()->isVisible(); }));
    EXPECT_FALSE(view.trends()->isModal());
    EXPECT_TRUE(view.isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.trends()));
    QTest::keyClick(view.trends(), Qt::Key_Escape);
    EXPECT_TRUE(wait_until([&] { return !view.trends()->isVisible(); }));
    EXPECT_TRUE(view.isVisible());
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  }
}

// 100 s of history up to now: the power board answers 40..65 s and 75..100 s
// (a 10 s outage of failed reads between), the encoders 40..80 s at
// 200 and 180 mm/s and then stop, the ranges 40..100 s at 1.0 to 2.5 m.
class ScriptedTrends : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto at = [&](double t) {
      return origin_ +
             std::chrono::duration_cast<TrendHistory::Clock::duration>(std::chrono::duration<double>(t));
    };
    const float ranges[7] = {1.0f, 1.25f, 1.5f, 1.75f, 2.0f, 2.25f, 2.5f};
    for (int i = 0; i <= 600; ++i) {
      const double t = 40 + i * 0.1;
      if (t < 65 || t > 75)
        history_.add_power(at(t), 12000 + i, 2000, 1);
      else
        history_.add_failure(TrendSource::kPower, at(t), "no reply");
      if (t <= 80) history_.add_encoders(at(t), i * 100, i * 90);
      history_.add_ranges(at(t), ranges);
    }
    history_.end(TrendSource::kEncoders, at(80.05));
    window_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
  }
  // The x pixel of time t (seconds since the origin) in plot `p`.
  int x_of(double t, int p = 0) {
    const auto r = window_.plots().plot_rects()[static_cast<std::size_t>(p)];
    const double t_end = window_.plots().snapshot().t_end;
    return r.x + static_cast<int>((t - (t_end - TrendHistory::kSpanS)) / TrendHistory::kSpanS * r.width);
  }
  // Pixels in column x of plot p drawn in series `name`'s colour: lines are
  // antialiased, so a pixel is the colour blended with white, c = a*colour +
  // (1-a)*white with the same a in each channel; the series whose colour
  // explains the pixel with the most even a is the one drawn there.
  int pixels_of(const QImage& image, const char* name, int x, int p) {
    const auto r = window_.plots().plot_rects()[static_cast<std::size_t>(p)];
    int n = 0;
    for (int y = r.y; y < r.y + r.height; ++y) {
      const QColor c = image.pixelColor(x, y);
      if (std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) < 12) continue;
      const char* nearest = nullptr;
      double best = 1e9;
      for (const auto& s : console::trend_series()) {
        if (s.plot != p) continue;
        const QColor want = QColor::fromRgb(static_cast<QRgb>(s.rgb));
        const int have[] = {c.red(), c.green(), c.blue()}, full[] = {want.red(), want.green(), want.blue()};
        double low = 1e9, high = -1e9;
        for (int k = 0; k < 3; ++k) {
          const double a = (255.0 - have[k]) / (255.0 - full[k]);
          low = std::min(low, a), high = std::max(high, a);
        }
        if (high - low < best) best = high - low, nearest = s.name;
      }
      n += nearest && std::string(nearest) == name;
    }
    return n;
  }
  TrendHistory::Clock::time_point origin_ = TrendHistory::Clock::now() - std::chrono::seconds(100);
  TrendHistory history_{origin_};
  console::TrendsWindow window_{history_};
};

TEST_F(ScriptedTrends, DrawsThePlotsWithGapsAndEndedLines) {
  const QImage image = window_.plots().grab().toImage();
  struct Probe {
    const char* series;
    int plot;
    double t;
    bool drawn;
  };
  const Probe probes[] = {
      {"battery", 0, 55, true},  {"battery", 0, 70, false},  // the outage
      {"battery", 0, 90, true},  {"current", 0, 55, true},
      {"left", 1, 60, true},     {"right", 1, 60, true},
      {"left", 1, 90, false},  // the encoder poller stopped
      {"left 90°", 2, 60, true}, {"right 150°", 2, 95, true},
      {"battery", 0, 20, false},  // before the history
  };
  for (const Probe& p : probes) {
    EXPECT_EQ(pixels_of(image, p.series, x_of(p.t, p.plot), p.plot) > 0, p.drawn)
        << p.series << " at " << p.t << " s";
  }
}

TEST_F(ScriptedTrends, HoverFreezeAndSave) {
  // Pointing at 55 s shows the values read then.
  QMouseEvent move(QEvent::MouseMove, QPointF(x_of(55), window_.plots().plot_rects()[0].y + 5), QPointF(),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&window_.plots(), &move);
  const QString values = window_.values_label().text();
  EXPECT_TRUE(values.contains("battery: 12.1") && values.contains("current 2.00 A")) << values.toStdString();
  EXPECT_TRUE(values.contains("left 200 mm/s, right 180 mm/s")) << values.toStdString();
  EXPECT_TRUE(values.contains("ranges: 1.000 1.250 1.500")) << values.toStdString();

  // Frozen, the window keeps its snapshot while the history grows.
  QTest::mouseClick(&window_.freeze_button(), Qt::LeftButton);
  EXPECT_EQ(window_.freeze_button().text(), "Resume");
  const auto held = window_.plots().snapshot().of(TrendSource::kPower).size();
  history_.add_power(TrendHistory::Clock::now(), 13000, 1000, 0);
  window_.refresh();
  EXPECT_EQ(window_.plots().snapshot().of(TrendSource::kPower).size(), held);
  QTest::mouseClick(&window_.freeze_button(), Qt::LeftButton);
  EXPECT_EQ(window_.freeze_button().text(), "Freeze");
  EXPECT_EQ(window_.plots().snapshot().of(TrendSource::kPower).size(), held + 1);

  // What it saves is what it holds, in watch's columns.
  QTemporaryDir dir;
  const QString path = dir.filePath("trends.csv");
  ASSERT_TRUE(window_.save_csv(path));
  std::ifstream file(path.toStdString());
  const CsvRecording saved = read_csv(file);
  const CsvRecording held_csv = read_csv(console::trends_csv(window_.plots().snapshot()));
  EXPECT_EQ(saved.names, held_csv.names);
  EXPECT_EQ(saved.rows.size(), 602u);  // 601 polls and the late power read
  EXPECT_EQ(saved.cell(0, "battery_mv"), "12000");
  EXPECT_EQ(saved.cell(300, "psb_reason"), "no reply");
  QString why;
  EXPECT_FALSE(window_.save_csv(dir.filePath("missing/trends.csv"), &why));
  EXPECT_FALSE(why.isEmpty());
}

}  // namespace
}  // namespace tavik::test
