// Times the "Sar" exchange (velk_rs232_psb_read_sensor) on a real port, for
// platforms without Google Benchmark, such as the Windows build under Wine.
//
//   sar_exchange_time PORT [COUNT]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tavik/velk_rs232_psb.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PORT [COUNT]\n", argv[0]);
    return 2;
  }
  const int count = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
  if (velk_rs232_psb_create(argv[1], 200) != 0) {
    std::fprintf(stderr, "%s: cannot open %s\n", argv[0], argv[1]);
    return 1;
  }
  psb_sensor_data sensor{};
  velk_rs232_psb_read_sensor(&sensor);  // the first exchange also opens the line's queues
  std::vector<double> ms;
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    const auto start = std::chrono::steady_clock::now();
    failed += velk_rs232_psb_read_sensor(&sensor) != 0;
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  velk_rs232_psb_destroy();
  std::sort(ms.begin(), ms.end());
  double sum = 0;
  for (double m : ms) sum += m;
  std::printf(
      "Sar exchange on %s: %d runs, mean %.2f ms, median %.2f ms, min %.2f ms, max %.2f ms, %d failed\n",
      argv[1], count, sum / count, ms[ms.size() / 2], ms.front(), ms.back(), failed);
  return failed == 0 ? 0 : 1;
}
