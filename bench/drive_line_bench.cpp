// The drive line under loss, with the console's logic and every poller
// running against the simulator at the line rate (both boards, the faults on
// the drive board's).
//
// BM_JogHeld: Left held for TAVIK_HOLD_S seconds (20 by default). Counters:
// longest_gap_ms, the longest time between two velocity requests on the
// drive board's line; tripped_s, when the board's own watchdog latched its
// wheel errors (0: never); velocities, how many went out. From the wire
// trace (TAVIK_TRACE, which the bench sets to a file of its own unless it is
// set): repeats, the requests sent again after a late reply's window;
// failed, the velocity calls that failed, failed_after_repeat those of them
// that had been sent again; waited, the calls answered more than 100 ms after
// their request; sent_gap_ms, the longest time between two velocity requests
// as the library sent them (longest_gap_ms is as the board read them);
// answered_gap_ms, the longest time between two velocities
// the board answered; gaps_lost and gaps_sender, how many of those times
// were over 400 ms with every request in between answered by nothing
// (requests lost in a row), and with a longer time between two requests on
// the line (which the sender could have avoided).
//
// BM_StopAfterWayOut: from the event that ends the jogging to the stop 0,0
// on the line, Left held: range(1) 0 closing (Esc, the close box, a
// termination signal), 1 letting go, 2 Robot Control Disable, 3 Disconnect.
// Counter moving_after_stop: how many times a moving velocity followed the
// stop.
//
// range(0), the fault: 0 none, 1 5 % of requests unanswered, 2 20 %
// unanswered, 3 20 % of replies 250 ms late.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "console/core/console_dlg.h"
#include "console/core/control_ids.h"
#include "null_window.h"
#include "paced_console.h"
#include "sim/simulator.h"
#include "tests/support/records/velocity_record.h"
#include "velocity_trace.h"

namespace {

using namespace tavik;
using Clock = std::chrono::steady_clock;
using bench::connect_with_every_poller;
using bench::PacedBoards;

const char* const kFaults[] = {
    "",
    "fault drvb * silence p=0.05",
    "fault drvb * silence p=0.2",
    "fault drvb * delay 250 p=0.2",
};

// The fault of range(0) on the drive board's line, and no other.
void put_fault(sim::Simulator& sim, std::int64_t fault) {
  sim.execute("fault clear");
  if (*kFaults[fault] != '\0') sim.execute(kFaults[fault]);
}

double hold_seconds() {
  const char* text = std::getenv("TAVIK_HOLD_S");
  return text != nullptr ? std::atof(text) : 20.0;
}

// The wire trace's file: TAVIK_TRACE when it names one, else a file of the
// bench's own, set before the first connection reads it.
std::string trace_file() {
  static const std::string path = [] {
    const char* given = std::getenv("TAVIK_TRACE");
    if (given != nullptr && *given != '\0' && std::string(given) != "stderr") return std::string(given);
    const auto own =
        std::filesystem::temp_directory_path() / ("tavik-bench-trace-" + std::to_string(::getpid()));
    std::filesystem::remove(own);
    ::setenv("TAVIK_TRACE", own.c_str(), 1);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove(std::getenv("TAVIK_TRACE"), ignored);
    });
    return own.string();
  }();
  return path;
}

std::streamoff file_size(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::streamoff>(size);
}

std::chrono::microseconds since_epoch(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch());
}

bool tripped(const sim::SimStatus& s) {
  return ((s.drive_error_left | s.drive_error_right) & sim::kDriveErrCommTimeout) != 0;
}

void BM_JogHeld(benchmark::State& state) {
  const std::string trace_path = trace_file();
  PacedBoards boards;
  sim::Simulator& sim = boards.sim;
  const auto hold = std::chrono::duration<double>(hold_seconds());
  double longest_ms = 0;
  double tripped_s = 0;
  int velocities = 0;
  bench::VelocityTrace trace;
  for (auto _ : state) {
    const std::streamoff trace_from = file_size(trace_path);
    bench::NullWindow window;
    console::CConsoleDlg dlg(window);
    connect_with_every_poller(dlg);
    put_fault(sim, state.range(0));
    test::VelocityRecord record(sim);
    const auto start = Clock::now();
    dlg.OnJogPressed(console::IDC_LEFT);
    while (Clock::now() - start < hold) {
      if (tripped_s == 0 && tripped(sim.status()))
        tripped_s = std::chrono::duration<double>(Clock::now() - start).count();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto end = Clock::now();
    sim.execute("fault clear");
    dlg.OnDestroy();
    const auto calls =
        bench::read_velocity_trace(trace_path, trace_from, since_epoch(start), since_epoch(end)).calls;
    trace.calls.insert(trace.calls.end(), calls.begin(), calls.end());
    Clock::time_point last = start;
    for (const auto& v : record.velocities()) {
      if (v.seen > end) break;
      longest_ms = std::max(longest_ms, std::chrono::duration<double, std::milli>(v.seen - last).count());
      last = v.seen;
      ++velocities;
    }
  }
  state.counters["longest_gap_ms"] = longest_ms;
  state.counters["tripped_s"] = tripped_s;
  state.counters["velocities"] = velocities;
  state.counters["repeats"] = trace.repeats();
  state.counters["failed"] = trace.failed();
  state.counters["failed_after_repeat"] = trace.failed_after_repeat();
  state.counters["waited"] = trace.answered_late(std::chrono::milliseconds(100));
  const auto gaps = trace.answered_gaps(std::chrono::milliseconds(400));
  state.counters["sent_gap_ms"] = trace.longest_sent_gap_ms();
  state.counters["answered_gap_ms"] = gaps.longest_ms;
  state.counters["gaps_lost"] = gaps.lost;
  state.counters["gaps_sender"] = gaps.sender;
}
BENCHMARK(BM_JogHeld)->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kSecond);

void BM_StopAfterWayOut(benchmark::State& state) {
  PacedBoards boards;
  sim::Simulator& sim = boards.sim;
  int moving_after_stop = 0;
  int iteration = 0;
  double longest_ms = 0;
  for (auto _ : state) {
    bench::NullWindow window;
    console::CConsoleDlg dlg(window);
    connect_with_every_poller(dlg);
    using namespace console;
    put_fault(sim, state.range(0));
    test::VelocityRecord record(sim);
    dlg.OnJogPressed(IDC_LEFT);
    // At a different place in the drive period each time.
    std::this_thread::sleep_for(std::chrono::milliseconds(600 + 37 * (iteration++ % 8)));
    const auto start = Clock::now();
    switch (state.range(1)) {
      case 0:
        dlg.OnDestroy();
        break;
      case 1:
        dlg.OnJogReleased();
        break;
      case 2:
        dlg.OnCommand(IDC_ROBOT_CTRL_DISABLE);
        break;
      default:
        dlg.OnCommand(IDC_DRVB_DISCONNECT);
        break;
    }
    const auto stop = record.first("BE;", start, std::chrono::seconds(2));
    if (!stop) {
      state.SkipWithError("no stop within 2 s");
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sim.execute("fault clear");
    dlg.OnDestroy();
    const double ms = std::chrono::duration<double, std::milli>(*stop - start).count();
    longest_ms = std::max(longest_ms, ms);
    state.SetIterationTime(ms / 1000);
    for (const auto& v : record.velocities()) {
      if (v.seen > *stop && v.command != "BE;") {
        ++moving_after_stop;
        break;
      }
    }
  }
  state.counters["longest_ms"] = longest_ms;
  state.counters["moving_after_stop"] = moving_after_stop;
}
BENCHMARK(BM_StopAfterWayOut)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2, 3}})
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
