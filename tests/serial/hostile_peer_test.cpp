// A network peer that floods (bytes, frames, Telnet negotiation without end)
// or never answers holds no call past its bound: opens end within the
// connect bound, commands within their exchanges' deadlines, and each fails
// with a reason.
#include "tests/support/peers/hostile_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "tavik/zarn_rs232.h"
#include "tests/support/peers/pty_test_util.h"
#include "tests/support/scenarios/zarn_calls.h"

namespace tavik::test {
namespace {

constexpr int kTimeoutMs = 200;
// The connect bound of a network open (serial/names/port_url.h), which a longer
// time-out does not lengthen.
constexpr int kOpenBoundMs = 2000;
// One exchange: the time-out plus a full frame's wire time at 115200 baud.
constexpr int kExchangeMs = kTimeoutMs + 23;
// A command after a failed one: a reopen of the dropped connection (bounded
// by the time-out), the window for the failed one's late reply, its own
// exchange; a stop goes twice (bounded_wait_test.cpp says why).
constexpr int kCommandBoundMs = kTimeoutMs + kTimeoutMs + kExchangeMs;
constexpr int kStopBoundMs = kCommandBoundMs + kTimeoutMs + kExchangeMs;
// For a loaded machine.
constexpr int kMarginMs = 300;

struct Outcome {
  int code;
  int error;  // zarn_rs232_last_error() on the calling thread
};

// Runs call on a thread of its own; one that has not returned after 10 s
// fails the test, and ending the peer ends its connection.
Outcome bounded_call(const std::function<int()>& call, std::unique_ptr<HostilePeer>& peer) {
  auto result = std::async(std::launch::async, [&] {
    const int code = call();
    return Outcome{code, zarn_rs232_last_error()};
  });
  if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "the call did not return within 10 s";
    peer.reset();
  }
  return result.get();
}

struct Peer {
  const char* name;
  HostileBehaviour behaviour;
};

struct Command {
  const char* name;
  bool drive_board;
  std::function<int()> call;
  int bound_ms;
};

const Command kCommands[] = {
    {"read power", false, read_power, kCommandBoundMs},
    {"stop", true, [] { return zarn_rs232_drvb_set_velocity(0, 0); }, kStopBoundMs},
};

int create(bool drive_board, const std::string& url, int timeout_ms) {
  return drive_board ? zarn_rs232_drvb_create(url.c_str(), timeout_ms)
                     : zarn_rs232_psb_create(url.c_str(), timeout_ms);
}

// Each command three times on a port opened to peer: the first finds the
// flood, the later ones the reopen and the failed one's late-reply window.
void expect_commands_bounded(const Peer& p, const std::string& scheme) {
  for (const Command& c : kCommands) {
    auto peer = std::make_unique<HostilePeer>(p.behaviour);
    const std::string url = peer->url(scheme);
    ASSERT_EQ(create(c.drive_board, url, kTimeoutMs), 0) << p.name << " " << url;
    for (int i = 0; i < 3; ++i) {
      const auto start = std::chrono::steady_clock::now();
      const Outcome outcome = bounded_call(c.call, peer);
      EXPECT_LT(elapsed_ms(start), c.bound_ms + kMarginMs)
          << c.name << " on " << p.name << " over " << scheme;
      EXPECT_EQ(outcome.code, -1) << c.name << " on " << p.name << " over " << scheme;
      EXPECT_NE(outcome.error, TAVIK_RS232_OK) << c.name << " on " << p.name;
    }
    zarn_rs232_psb_destroy();
    zarn_rs232_drvb_destroy();
  }
}

TEST(HostilePeer, CommandsOverTcpEndWithinTheirBoundsAndFail) {
  const Peer peers[] = {
      {"random bytes", {random_bytes()}},
      {"acknowledgement frames", {ack_frames()}},
  };
  for (const Peer& p : peers) expect_commands_bounded(p, "tcp");
}

TEST(HostilePeer, CommandsOverRfc2217EndWithinTheirBoundsAndFail) {
  const Peer peers[] = {
      {"random bytes", {random_bytes(), true}},
      {"acknowledgement frames", {ack_frames(), true}},
      {"negotiation storm", {negotiation_storm(), true}},
      {"endless subnegotiation", {endless_subnegotiation(), true}},
  };
  for (const Peer& p : peers) expect_commands_bounded(p, "rfc2217");
}

// With a time-out longer than the connect bound, an open that cannot agree
// on the line ends at the bound.
TEST(HostilePeer, Rfc2217OpensEndWithinTheConnectBoundAndFail) {
  const Peer peers[] = {
      {"silent", {}},
      {"random bytes", {random_bytes()}},
      {"acknowledgement frames", {ack_frames()}},
      {"negotiation storm", {negotiation_storm()}},
      {"endless subnegotiation", {endless_subnegotiation()}},
  };
  for (const Peer& p : peers) {
    auto peer = std::make_unique<HostilePeer>(p.behaviour);
    const std::string url = peer->url("rfc2217");
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = bounded_call([&] { return zarn_rs232_psb_create(url.c_str(), 5000); }, peer);
    EXPECT_LT(elapsed_ms(start), kOpenBoundMs + kMarginMs) << p.name;
    EXPECT_EQ(outcome.code, -1) << p.name;
    EXPECT_NE(outcome.error, TAVIK_RS232_OK) << p.name;
    zarn_rs232_psb_destroy();
  }
}

}  // namespace
}  // namespace tavik::test
