// How often a reply that arrives after its time-out is taken for the answer
// to the next request. The PSB is polled as the console polls it (sensor
// read, power data, a device switch now and then) while the simulator delays
// 5 % of its replies past the 200 ms time-out. A successful power read whose
// record differs from the board's state is a wrong reply reported as success.
//
// Counters: reads (successful power reads), wrong (of those, not the board's
// data), wrong_pct.
#include <benchmark/benchmark.h>

#include "sim/simulator.h"
#include "tavik/velk_rs232_psb.h"

namespace {

bool matches_board(const psb_power_data& d, const tavik::sim::SimStatus& s) {
  const std::int32_t states[] = {d.drive_state, d.sensors_state, d.lrf_state,  d.sbc_state,
                                 d.sg_state,    d.lcd_state,     d.servo_state};
  for (std::size_t i = 0; i < std::size(states); ++i) {
    if ((states[i] != 0) != s.devices[i]) return false;
  }
  // 0.1 V per reply unit, times 100 in the record: about mV; the battery sags with load.
  return d.battery_volt > 0 && std::abs(d.battery_volt / 1000.0 - s.battery_volt) < 1.0;
}

void BM_LateReplies(benchmark::State& state) {
  tavik::sim::Simulator sim;
  sim.execute("fault psb * delay 250 p=0.05");
  if (velk_rs232_psb_create(sim.psb_path().c_str(), 200) != 0) {
    state.SkipWithError("cannot open the simulated board");
    return;
  }
  long reads = 0;
  long wrong = 0;
  int round = 0;
  for (auto _ : state) {
    psb_sensor_data sensor{};
    velk_rs232_psb_read_sensor(&sensor);
    psb_power_data power{};
    if (velk_rs232_psb_read_power(&power) == 0) {
      ++reads;
      if (!matches_board(power, sim.status())) ++wrong;
    }
    // Switch the LRF now and then, so that late status replies are on the line too.
    if (++round % 4 == 0) velk_rs232_psb_set_power_control(PSB_DEVICE_LRF, (round / 4) % 2);
  }
  velk_rs232_psb_destroy();
  state.counters["reads"] = static_cast<double>(reads);
  state.counters["wrong"] = static_cast<double>(wrong);
  state.counters["wrong_pct"] =
      reads > 0 ? 100.0 * static_cast<double>(wrong) / static_cast<double>(reads) : 0;
}
BENCHMARK(BM_LateReplies)->Iterations(600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
