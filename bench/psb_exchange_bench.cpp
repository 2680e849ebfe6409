// Time of one "Sar" exchange (request, 44-byte counted reply) through
// lib_zarn_rs232 against the scripted peer on a pseudo-terminal.
// Reports the median of the iterations as median_us.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "sim/frame_builder.h"
#include "sim/scripted_peer.h"
#include "tavik/zarn_rs232.h"

namespace {

void BM_SarExchange(benchmark::State& state) {
  tavik::sim::ScriptedPeer peer;
  const auto reply = tavik::sim::counted_frame(tavik::sim::Bytes(40, 0x11));
  peer.respond([&](const tavik::sim::Bytes&) { return tavik::sim::ScriptedReply{reply, {}}; });
  if (zarn_rs232_psb_create(peer.path().c_str(), 200) != 0) {
    state.SkipWithError("cannot open the peer's port");
    return;
  }
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(state.max_iterations));
  int failures = 0;
  for (auto _ : state) {
    int ranges[7];
    auto start = std::chrono::steady_clock::now();
    if (zarn_rs232_psb_read_usonic(ranges) != 0) ++failures;
    micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
  }
  zarn_rs232_psb_destroy();
  std::nth_element(micros.begin(), micros.begin() + static_cast<long>(micros.size() / 2), micros.end());
  state.counters["median_us"] = micros[micros.size() / 2];
  state.counters["failures"] = failures;
}
BENCHMARK(BM_SarExchange)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
