// Commands race against create and destroy of one board connection: destroy
// must wait for the exchange in progress, and a command that finds the
// connection closed must fail cleanly. Meant for the asan and tsan presets.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace tavik::test {

// Runs every command in a loop on a thread of its own while this thread
// creates and destroys the connection for about 1.5 s.
template <class Create, class Destroy, class... Commands>
void stress_create_destroy(const std::string& path, Create create, Destroy destroy, Commands... commands) {
  std::atomic<bool> stop{false};
  std::atomic<int> successes{0};
  std::vector<std::thread> threads;
  auto run = [&](auto command) {
    while (!stop.load()) {
      if (command() == 0) ++successes;
    }
  };
  (threads.emplace_back(run, commands), ...);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  int cycles = 0;
  while (std::chrono::steady_clock::now() < until) {
    EXPECT_EQ(create(path.c_str(), 100), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(cycles % 3));
    destroy();
    ++cycles;
  }
  stop = true;
  for (auto& t : threads) t.join();
  destroy();
  EXPECT_GT(cycles, 10);
  EXPECT_GT(successes.load(), 0);
}

}  // namespace tavik::test
