// The board simulator's costs: one exchange through lib_zarn_rs232 against
// the simulated boards, unpaced and paced at 115200 baud, and one second of
// world time. Exchanges report the median as median_us.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "sim/models/robot_model.h"
#include "sim/simulator.h"
#include "tavik/zarn_rs232.h"

namespace {

using Clock = std::chrono::steady_clock;

void run_exchanges(benchmark::State& state, const std::function<int()>& call) {
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(state.max_iterations));
  int failures = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    if (call() != 0) ++failures;
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::nth_element(micros.begin(), micros.begin() + static_cast<long>(micros.size() / 2), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["failures"] = failures;
}

// range(0): 1 paced, 0 not.
void BM_SimSar(benchmark::State& state) {
  tavik::sim::SimulatorOptions options;
  options.pace = state.range(0) != 0;
  tavik::sim::Simulator sim(options);
  if (zarn_rs232_psb_create(sim.psb_path().c_str(), 200) != 0) {
    state.SkipWithError("cannot open the simulated board");
    return;
  }
  int ranges[7];
  run_exchanges(state, [&] { return zarn_rs232_psb_read_usonic(ranges); });
  zarn_rs232_psb_destroy();
}
BENCHMARK(BM_SimSar)->Arg(0)->Arg(1)->Iterations(1000)->Unit(benchmark::kMicrosecond);

void BM_SimEncoder(benchmark::State& state) {
  tavik::sim::SimulatorOptions options;
  options.pace = state.range(0) != 0;
  tavik::sim::Simulator sim(options);
  if (zarn_rs232_drvb_create(sim.drvb_path().c_str(), 200) != 0) {
    state.SkipWithError("cannot open the simulated board");
    return;
  }
  int left, right;
  run_exchanges(state, [&] { return zarn_rs232_drvb_read_encoder(&left, &right); });
  zarn_rs232_drvb_destroy();
}
BENCHMARK(BM_SimEncoder)->Arg(0)->Arg(1)->Iterations(1000)->Unit(benchmark::kMicrosecond);

// One second of world time with the robot driving a circle of about 1 m
// across: 1000 steps.
void BM_WorldSecond(benchmark::State& state) {
  auto now = Clock::now();
  tavik::sim::RobotModel model(1, now);
  model.answer(tavik::sim::Board::kDrvb, "XB3020000", now);  // no comm time-out within a step
  model.answer(tavik::sim::Board::kDrvb, "DB11", now);
  for (auto _ : state) {
    model.answer(tavik::sim::Board::kDrvb, "BE100;200", now);
    now += std::chrono::seconds(1);
    model.advance_to(now);
  }
}
BENCHMARK(BM_WorldSecond)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
