// What the console costs while it watches the robot: the Qt window (offscreen,
// with and without the Trends window) with its logic and every poller running against tavik-sim in another
// process, replying at the line rate. Counters: cpu_pct (share of one core
// used by this process over the measured seconds) and rss_mb (resident
// memory at the end, peak_rss_mb the most it reached).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "console/core/control_ids.h"
#include "console/qt/console_view.h"
#include "console/qt/trend_plot_view.h"
#include "console/qt/trends_window.h"
#include "null_window.h"
#include "tests/support/processes/child_program.h"

namespace {

using namespace tavik;
using Clock = std::chrono::steady_clock;

double cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A field of /proc/self/status in MiB ("VmRSS", "VmHWM").
double status_mib(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1)) / 1024.0;
  }
  return 0;
}

// The Qt application of one benchmark, on the offscreen platform.
struct OffscreenApplication {
  bool offscreen = ::setenv("QT_QPA_PLATFORM", "offscreen", 0) == 0;  // before `app`
  int argc = 1;
  char name[19] = "console_cost_bench";
  char* argv[2] = {name, nullptr};
  QApplication app{argc, argv};
};

// Runs the GUI thread's events for `time` (quitting the application would
// close the window).
void run_events_for(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(time, &loop, &QEventLoop::quit);
  loop.exec();
}

void BM_ConsoleWithAllPollers(benchmark::State& state) {
  OffscreenApplication app;

  const auto dir = std::filesystem::temp_directory_path() / ("tavik-cost-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  test::ChildProgram sim(TAVIK_SIM_PROGRAM, {"--link-dir", dir.string(), "--pace"});
  if (sim.line_starting("drvb").empty()) {
    state.SkipWithError("tavik-sim did not start");
    return;
  }
  ::setenv("TAVIK_COM_DIR", dir.c_str(), 1);
  // The diagnostic lines go where nobody reads them, as on a desktop.
  const int saved_stdout = ::dup(1);
  const int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  ::dup2(null_fd, 1);

  double cpu = 0;
  double wall = 0;
  {
    console::ConsoleView view;
    bench::NullWindow null_window;
    std::unique_ptr<console::CConsoleDlg> bare;
    console::CConsoleDlg* logic = &view.logic();
    if (state.range(1) != 0) {
      bare = std::make_unique<console::CConsoleDlg>(null_window);
      logic = bare.get();
      logic->OnInitDialog();
    } else {
      view.show();
      if (state.range(2) != 0) view.OnTrends();
    }
    using namespace console;
    for (int id : {IDC_PSB_CONNECT, IDC_DRVB_CONNECT, IDC_USONIC_ENABLE, IDC_POWER_DATA_ENABLE,
                   IDC_ROBOT_CTRL_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) {
      logic->OnCommand(id);
    }
    if (!logic->m_bPsbConnected || !logic->m_bDrvbConnected) {
      state.SkipWithError("the console did not connect to the simulated boards");
      return;
    }
    // Warm-up; with the Trends window, until it holds its full two minutes.
    run_events_for(std::chrono::seconds(state.range(2) != 0 ? 125 : 2));
    for (auto _ : state) {
      const double cpu_start = cpu_seconds();
      const auto start = Clock::now();
      run_events_for(std::chrono::seconds(state.range(0)));
      cpu = cpu_seconds() - cpu_start;
      wall = std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["rss_mb"] = status_mib("VmRSS");
    state.counters["peak_rss_mb"] = status_mib("VmHWM");
    if (bare) bare->OnDestroy();
    view.close();
  }
  ::dup2(saved_stdout, 1);
  ::close(saved_stdout);
  ::close(null_fd);
  state.counters["cpu_pct"] = 100.0 * cpu / wall;
  std::filesystem::remove_all(dir);
}
// Args: seconds measured; 1 for the logic alone, with a window that draws
// nothing; 1 for the Trends window open beside the main one.
BENCHMARK(BM_ConsoleWithAllPollers)
    ->Args({30, 0, 0})
    ->Args({30, 0, 1})
    ->Args({30, 1, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// GUI-thread time of one read-out update in the shown window: a new text in
// each of the seven range fields, applied and repainted as a refresh does.
// Counter: us_per_field.
void BM_RangeFieldUpdate(benchmark::State& state) {
  OffscreenApplication app;
  console::ConsoleView view;
  view.show();
  QApplication::processEvents();
  int value = 100;
  const double cpu_start = cpu_seconds();
  std::int64_t fields = 0;
  for (auto _ : state) {
    ++value;
    for (int id = console::IDC_USONIC_RANGE1; id <= console::IDC_USONIC_RANGE7; ++id) {
      view.SetControlText(id, std::to_string(value + id) + ".000000");
      ++fields;
    }
    QApplication::processEvents();
  }
  state.counters["us_per_field"] = 1e6 * (cpu_seconds() - cpu_start) / static_cast<double>(fields);
  view.close();
}
BENCHMARK(BM_RangeFieldUpdate)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// GUI-thread time of one redraw of the Trends window holding two full
// minutes of every poller at ten reads a second: the snapshot, the plots'
// geometry and the painting, as each refresh does. Counter: ms_per_redraw.
void BM_TrendsRedraw(benchmark::State& state) {
  OffscreenApplication app;
  const auto origin = console::TrendHistory::Clock::now() - std::chrono::seconds(130);
  console::TrendHistory history(origin);
  for (int i = 0; i < 1300; ++i) {
    const auto at = origin + std::chrono::milliseconds(100 * i);
    history.add_power(at, 12000 + i % 300, 2000 + (i * 37) % 900, 1);
    history.add_encoders(at, i * (100 + i % 7), i * 95);
    float ranges[7];
    for (int r = 0; r < 7; ++r)
      ranges[r] = 1.0f + 0.1f * static_cast<float>(r) + 0.001f * static_cast<float>(i % 100);
    history.add_ranges(at, ranges);
  }
  console::TrendsWindow window(history);
  window.show();
  QApplication::processEvents();
  const double cpu_start = cpu_seconds();
  std::int64_t redraws = 0;
  for (auto _ : state) {
    window.plots().show_snapshot(history.snapshot());
    window.plots().repaint();
    ++redraws;
  }
  state.counters["ms_per_redraw"] = 1e3 * (cpu_seconds() - cpu_start) / static_cast<double>(redraws);
}
BENCHMARK(BM_TrendsRedraw)->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
