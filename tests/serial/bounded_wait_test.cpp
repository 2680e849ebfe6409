// Every exchange ends within a bound, whatever the line does, and closing a
// connection waits for the exchange in progress only.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/pty_test_util.h"
#include "tests/support/peers/scripted_peer.h"
#include "tests/support/peers/streaming_peer.h"

namespace tavik {
namespace {

using std::chrono::milliseconds;
using test::elapsed_ms;

constexpr int kTimeoutMs = 200;

// Runs command on a thread of its own; a command that never returns fails the
// test instead of hanging it (stop() then ends the stream that holds it).
int bounded_call(const std::function<int()>& command, test::StreamingPeer& peer) {
  auto result = std::async(std::launch::async, command);
  if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "the command did not return within 5 s";
    peer.stop();
  }
  return result.get();
}

TEST(BoundedWait, AStreamingPortFailsEachCommandWithinAboutOneTimeOut) {
  test::StreamingPeer peer;
  ASSERT_EQ(zarn_rs232_drvb_create(peer.path().c_str(), kTimeoutMs), 0);
  struct Case {
    const char* name;
    std::function<int()> command;
  };
  const Case cases[] = {
      {"encoder",
       [] {
         int l, r;
         return zarn_rs232_drvb_read_encoder(&l, &r);
       }},
      {"bumpers",
       [] {
         int l, r, e;
         return zarn_rs232_drvb_read_bumper_emg(&l, &r, &e);
       }},
      {"velocity", [] { return zarn_rs232_drvb_set_velocity(0, 0); }},
      {"parameter",
       [] {
         int v;
         return zarn_rs232_drvb_read_parameter(0, &v);
       }},
  };
  // Each after a failed one: up to one time-out for the failed one's late
  // reply, then its own time-out (the stop: twice its own, as it is sent
  // once more when no late reply can be taken for its answer).
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(bounded_call(c.command, peer), -1) << c.name;
    EXPECT_LT(elapsed_ms(start), 3.0 * kTimeoutMs) << c.name;
  }
  const auto start = std::chrono::steady_clock::now();
  zarn_rs232_drvb_destroy();
  EXPECT_LT(elapsed_ms(start), 100.0);

  ASSERT_EQ(velk_rs232_psb_create(peer.path().c_str(), kTimeoutMs), 0);
  for (auto command : {std::function<int()>([] {
                         psb_power_data d;
                         return velk_rs232_psb_read_power(&d);
                       }),
                       std::function<int()>([] {
                         psb_sensor_data d;
                         return velk_rs232_psb_read_sensor(&d);
                       })}) {
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(bounded_call(command, peer), -1);
    EXPECT_LT(elapsed_ms(begin), 3.0 * kTimeoutMs);
  }
  velk_rs232_psb_destroy();
}

// Six callers in a loop on a silent board: one exchange in progress, the
// others waiting for the lock or calling again. Destroy, or a new create,
// waits for the exchange in progress only, not for callers queued before it
// or arriving after it.
TEST(BoundedWait, ClosingDoesNotWaitForOtherCallers) {
  test::ScriptedPeer peer;  // silent
  struct Case {
    const char* name;
    std::function<void()> close;
  };
  const std::string path = peer.path();
  const Case cases[] = {
      {"destroy", [] { zarn_rs232_drvb_destroy(); }},
      {"create", [&] { EXPECT_EQ(zarn_rs232_drvb_create(path.c_str(), kTimeoutMs), 0); }},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(zarn_rs232_drvb_create(path.c_str(), kTimeoutMs), 0);
    std::atomic<bool> stop{false};
    std::vector<std::thread> callers;
    for (int i = 0; i < 6; ++i) {
      callers.emplace_back([&] {
        while (!stop) {
          int l, r;
          EXPECT_EQ(zarn_rs232_drvb_read_encoder(&l, &r), -1);
        }
      });
    }
    std::this_thread::sleep_for(milliseconds(50));
    const auto start = std::chrono::steady_clock::now();
    c.close();
    // At most the rest of the exchange in progress; queued turns took 1.7 s.
    EXPECT_LT(elapsed_ms(start), 2.0 * kTimeoutMs) << c.name;
    stop = true;
    for (auto& caller : callers) caller.join();
    zarn_rs232_drvb_destroy();
  }
}

}  // namespace
}  // namespace tavik
