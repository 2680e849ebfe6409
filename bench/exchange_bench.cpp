// Time of one exchange through the libraries against the scripted peer on a
// pseudo-terminal (the peer answers at once; no wire pacing):
//   SarExchange  "Sar" request, 44-byte counted reply (lib_zarn_rs232 PSB)
//   AcExchange   "AC0" request, encoder status reply (lib_zarn_rs232 DRVB)
// Each reports the median of its iterations as median_us.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "sim/models/frame_builder.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/scripted_peer.h"

namespace {

using tavik::sim::Bytes;

void run_exchanges(benchmark::State& state, const Bytes& reply, int (*create)(const char*, int),
                   void (*destroy)(), const std::function<int()>& exchange) {
  tavik::test::ScriptedPeer peer;
  peer.respond([&](const Bytes&) { return tavik::test::ScriptedReply{reply, {}}; });
  if (create(peer.path().c_str(), 200) != 0) {
    state.SkipWithError("cannot open the peer's port");
    return;
  }
  std::vector<double> micros;
  int failures = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (exchange() != 0) ++failures;
    micros.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  destroy();
  std::nth_element(micros.begin(), micros.begin() + static_cast<long>(micros.size() / 2), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["failures"] = failures;
}

void BM_SarExchange(benchmark::State& state) {
  run_exchanges(state, tavik::sim::counted_frame(Bytes(40, 0x11)), zarn_rs232_psb_create,
                zarn_rs232_psb_destroy, [] {
                  int ranges[7];
                  return zarn_rs232_psb_read_usonic(ranges);
                });
}
BENCHMARK(BM_SarExchange)->Iterations(1000)->Unit(benchmark::kMicrosecond);

void BM_AcExchange(benchmark::State& state) {
  run_exchanges(state, tavik::sim::frame("00000001234-000000056"), zarn_rs232_drvb_create,
                zarn_rs232_drvb_destroy, [] {
                  int left, right;
                  return zarn_rs232_drvb_read_encoder(&left, &right);
                });
}
BENCHMARK(BM_AcExchange)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
