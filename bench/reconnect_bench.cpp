// A pulled adapter through lib_zarn_rs232: how long after the device is
// back the first good exchange comes when polled at the console's 10 Hz,
// and what a call costs while the device stays away (the failing reopen
// every 500 ms, and the calls between that fail at once). Times in
// milliseconds or microseconds per iteration.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>

#include "sim/simulated_boards.h"
#include "tavik/zarn_rs232.h"

namespace {

using namespace tavik;
using Clock = std::chrono::steady_clock;

int read_encoder() {
  int left = 0;
  int right = 0;
  return zarn_rs232_drvb_read_encoder(&left, &right);
}

// range(0): ms between the loss and the return (the poller keeps failing
// meanwhile). Time from the return to the first good exchange.
void BM_RecoveryAt10Hz(benchmark::State& state) {
  sim::SimulatedBoards boards;  // COM7 and COM8, at the line rate
  zarn_rs232_drvb_create("COM8", 200);
  for (auto _ : state) {
    boards.simulator().unplug(sim::Board::kDrvb);
    const auto lost = Clock::now();
    auto next = Clock::now();
    auto back = Clock::time_point::max();
    for (;;) {
      if (back == Clock::time_point::max() &&
          Clock::now() - lost >= std::chrono::milliseconds(state.range(0))) {
        boards.simulator().replug(sim::Board::kDrvb);
        back = Clock::now();
      }
      if (read_encoder() == 0) break;
      next += std::chrono::milliseconds(100);
      std::this_thread::sleep_until(next);
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - back).count());
  }
  zarn_rs232_drvb_destroy();
}
BENCHMARK(BM_RecoveryAt10Hz)
    ->Arg(300)
    ->Arg(1000)
    ->Iterations(8)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// One call while the device stays away.
void BM_CallWhileAway(benchmark::State& state) {
  sim::SimulatedBoards boards;  // COM7 and COM8, at the line rate
  zarn_rs232_drvb_create("COM8", 200);
  boards.simulator().unplug(sim::Board::kDrvb);
  read_encoder();  // finds the device gone
  for (auto _ : state) benchmark::DoNotOptimize(read_encoder());
  zarn_rs232_drvb_destroy();
}
BENCHMARK(BM_CallWhileAway)->MinTime(2.0)->Unit(benchmark::kMicrosecond);

// A healthy exchange, for comparison.
void BM_HealthyExchange(benchmark::State& state) {
  sim::SimulatedBoards boards;  // COM7 and COM8, at the line rate
  zarn_rs232_drvb_create("COM8", 200);
  for (auto _ : state) benchmark::DoNotOptimize(read_encoder());
  zarn_rs232_drvb_destroy();
}
BENCHMARK(BM_HealthyExchange)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
