// Drive board commands from three threads while a fourth creates and
// destroys the connection: destroy must wait for the exchange in progress
// (set_parameter's three included) and a command that finds the connection
// closed must fail cleanly. Meant for the asan and tsan presets.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "drvb_peer_replies.h"
#include "sim/scripted_peer.h"
#include "tavik/zarn_rs232.h"

namespace tavik {
namespace {

using std::chrono::milliseconds;

TEST(DrvbLifetimeStress, CommandsWhileCreatingAndDestroying) {
  sim::ScriptedPeer peer;
  peer.respond(test::good_drvb_reply);
  std::atomic<bool> stop{false};
  std::atomic<int> successes{0};
  auto run = [&](auto command) {
    while (!stop.load()) {
      if (command() == 0) ++successes;
    }
  };
  std::vector<std::thread> threads;
  threads.emplace_back(run, [] { return zarn_rs232_drvb_set_velocity(200, -200); });
  threads.emplace_back(run, [] { int l, r; return zarn_rs232_drvb_read_encoder(&l, &r); });
  threads.emplace_back(run, [] { return zarn_rs232_drvb_set_parameter(0, 500); });

  auto until = std::chrono::steady_clock::now() + milliseconds(1500);
  int cycles = 0;
  while (std::chrono::steady_clock::now() < until) {
    EXPECT_EQ(zarn_rs232_drvb_create(peer.path().c_str(), 100), 0);
    std::this_thread::sleep_for(milliseconds(cycles % 3));
    zarn_rs232_drvb_destroy();
    ++cycles;
  }
  stop = true;
  for (auto& t : threads) t.join();
  zarn_rs232_drvb_destroy();
  EXPECT_GT(cycles, 10);
  EXPECT_GT(successes.load(), 0);
}

}  // namespace
}  // namespace tavik
