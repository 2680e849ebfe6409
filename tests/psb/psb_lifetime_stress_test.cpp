// Commands race against create and destroy: destroy must wait for a command
// in progress, and a command that finds the connection closed must fail
// cleanly. Run under the asan and tsan presets to catch use of a freed port.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "psb_peer_replies.h"
#include "sim/scripted_peer.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik {
namespace {

using std::chrono::milliseconds;

template <class Create, class Destroy, class... Commands>
void stress(const std::string& path, Create create, Destroy destroy, Commands... commands) {
  std::atomic<bool> stop{false};
  std::atomic<int> successes{0};
  std::vector<std::thread> threads;
  auto run = [&](auto command) {
    while (!stop.load()) {
      if (command() == 0) ++successes;
    }
  };
  (threads.emplace_back(run, commands), ...);
  auto until = std::chrono::steady_clock::now() + milliseconds(1500);
  int cycles = 0;
  while (std::chrono::steady_clock::now() < until) {
    EXPECT_EQ(create(path.c_str(), 100), 0);
    std::this_thread::sleep_for(milliseconds(cycles % 3));
    destroy();
    ++cycles;
  }
  stop = true;
  for (auto& t : threads) t.join();
  destroy();
  EXPECT_GT(cycles, 10);
  EXPECT_GT(successes.load(), 0);
}

TEST(PsbLifetimeStress, ZarnCommandsWhileCreatingAndDestroying) {
  sim::ScriptedPeer peer;
  peer.respond(test::good_psb_reply);
  stress(
      peer.path(), zarn_rs232_psb_create, zarn_rs232_psb_destroy,
      [] { psb_power_data d; return zarn_rs232_psb_read_power(&d); },
      [] { int r[7]; return zarn_rs232_psb_read_usonic(r); },
      [] { return zarn_rs232_psb_set_power_control(2, 1); });
}

TEST(PsbLifetimeStress, VelkCommandsWhileCreatingAndDestroying) {
  sim::ScriptedPeer peer;
  peer.respond(test::good_psb_reply);
  stress(
      peer.path(), velk_rs232_psb_create, velk_rs232_psb_destroy,
      [] { psb_sensor_data d; return velk_rs232_psb_read_sensor(&d); },
      [] { psb_power_data d; return velk_rs232_psb_read_power(&d); },
      [] { return velk_rs232_psb_set_usonic_max_dist(1); });
}

}  // namespace
}  // namespace tavik
