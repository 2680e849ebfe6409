// The waits that end a session: how long the console's logic takes to close
// with every poller running (healthy and silent boards, the simulator at the
// line rate), how soon the stop reaches the drive board after each way of
// ending the jogging, how long destroy waits with six callers queued on a
// silent board, and how long a command takes against a port that streams
// text. Times are per iteration, in milliseconds.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "console/core/console_dlg.h"
#include "console/core/control_ids.h"
#include "null_window.h"
#include "paced_console.h"
#include "sim/simulator.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/scripted_peer.h"
#include "tests/support/peers/streaming_peer.h"
#include "tests/support/records/velocity_record.h"

namespace {

using namespace tavik;
using Clock = std::chrono::steady_clock;
using bench::connect_with_every_poller;
using bench::PacedBoards;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// range(0): 1 with both boards silent. Front is held, so the final stop goes
// out too.
void BM_ConsoleClose(benchmark::State& state) {
  PacedBoards boards;
  sim::Simulator& sim = boards.sim;
  for (auto _ : state) {
    bench::NullWindow window;
    console::CConsoleDlg dlg(window);
    connect_with_every_poller(dlg);
    using namespace console;
    dlg.OnJogPressed(IDC_FRONT);
    if (state.range(0) != 0) {
      sim.execute("fault psb * silence");
      sim.execute("fault drvb * silence");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    const auto start = Clock::now();
    dlg.OnDestroy();
    state.SetIterationTime(seconds_since(start));
    sim.execute("fault clear");
  }
}
BENCHMARK(BM_ConsoleClose)->Arg(0)->Arg(1)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// From the event that ends the jogging to the stop 0,0 on the drive board's
// line, every poller running and Front held: range(0) 0 closing, 1
// Disconnect, 2 Robot Control Disable, 3 the drive board's adapter back
// after Front was let go while it was away (the event is its return; the
// library reopens a lost port at most every 500 ms). The counter gap_ms is
// the time from the last drive command to the stop (for 3 it includes the
// time away).
void BM_StopAfterTheEnd(benchmark::State& state) {
  PacedBoards boards;
  sim::Simulator& sim = boards.sim;
  double gaps_ms = 0;
  int iteration = 0;
  for (auto _ : state) {
    bench::NullWindow window;
    console::CConsoleDlg dlg(window);
    connect_with_every_poller(dlg);
    using namespace console;
    test::VelocityRecord record(sim);
    dlg.OnJogPressed(IDC_FRONT);
    // Between two drive steps, at a different place in the period each time.
    std::this_thread::sleep_for(std::chrono::milliseconds(400 + 17 * (iteration++ % 6)));
    if (state.range(0) == 3) {
      sim.unplug(sim::Board::kDrvb);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      dlg.OnJogReleased();
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    const auto start = Clock::now();
    switch (state.range(0)) {
      case 0:
        dlg.OnDestroy();
        break;
      case 1:
        dlg.OnCommand(IDC_DRVB_DISCONNECT);
        break;
      case 2:
        dlg.OnCommand(IDC_ROBOT_CTRL_DISABLE);
        break;
      default:
        sim.replug(sim::Board::kDrvb);
        break;
    }
    const auto stop = record.first("BE;", start, std::chrono::seconds(2));
    if (!stop) {
      state.SkipWithError("no stop within 2 s");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(*stop - start).count());
    Clock::time_point last_drive = start;
    for (const auto& v : record.velocities()) {
      if (v.command != "BE;" && v.seen < *stop) last_drive = v.seen;
    }
    gaps_ms += std::chrono::duration<double, std::milli>(*stop - last_drive).count();
  }
  state.counters["gap_ms"] = benchmark::Counter(gaps_ms, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_StopAfterTheEnd)
    ->DenseRange(0, 3)
    ->Iterations(6)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_DestroyBehindSixQueuedCallers(benchmark::State& state) {
  test::ScriptedPeer silent;
  for (auto _ : state) {
    zarn_rs232_drvb_create(silent.path().c_str(), 200);
    std::vector<std::future<int>> callers;
    for (int i = 0; i < 6; ++i) {
      callers.push_back(std::async(std::launch::async, [] {
        int l, r;
        return zarn_rs232_drvb_read_encoder(&l, &r);
      }));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto start = Clock::now();
    zarn_rs232_drvb_destroy();
    state.SetIterationTime(seconds_since(start));
    for (auto& caller : callers) caller.get();
  }
}
BENCHMARK(BM_DestroyBehindSixQueuedCallers)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_CommandOnAStreamingPort(benchmark::State& state) {
  test::StreamingPeer device;
  zarn_rs232_drvb_create(device.path().c_str(), 200);
  for (auto _ : state) {
    const auto start = Clock::now();
    int l, r;
    zarn_rs232_drvb_read_encoder(&l, &r);
    state.SetIterationTime(seconds_since(start));
  }
  zarn_rs232_drvb_destroy();
}
BENCHMARK(BM_CommandOnAStreamingPort)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
