// How long lib_zarn_rs232's calls take against a network peer that floods
// or never answers (tests/support/peers/hostile_peer.h): an open with a 5 s
// time-out, and with a 200 ms one the power read and the stop, each three
// times on one port. A call still running after the watchdog (default 30 s)
// is ended by closing its peer and printed with a '>'.
//
//   hostile_peer_bench [WATCHDOG_SECONDS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "tavik/zarn_rs232.h"
#include "tests/support/peers/hostile_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
using tavik::test::HostileBehaviour;
using tavik::test::HostilePeer;

int watchdog_s = 30;

void timed(const char* what, const std::function<int()>& call, std::unique_ptr<HostilePeer>& peer) {
  const auto start = Clock::now();
  // The failure is the calling thread's.
  auto result = std::async(std::launch::async, [&] { return call() == 0 ? 0 : zarn_rs232_last_error(); });
  const bool ended = result.wait_for(std::chrono::seconds(watchdog_s)) == std::future_status::ready;
  if (!ended) peer.reset();
  const int error = result.get();
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  std::printf("  %-12s %s%8.0f ms  %s\n", what, ended ? " " : ">", ms,
              error == TAVIK_RS232_OK ? "ok" : zarn_rs232_error_text(error));
  std::fflush(stdout);
}

void run(const char* name, const HostileBehaviour& behaviour, const char* scheme) {
  std::printf("%s over %s://\n", name, scheme);
  auto peer = std::make_unique<HostilePeer>(behaviour);
  const std::string url = peer->url(scheme);
  timed(
      "open 5 s", [&] { return zarn_rs232_psb_create(url.c_str(), 5000); }, peer);
  zarn_rs232_psb_destroy();
  if (peer == nullptr) return;
  if (zarn_rs232_psb_create(url.c_str(), 200) == 0) {
    for (int i = 0; i < 3 && peer != nullptr; ++i) {
      timed(
          "read power",
          [] {
            psb_power_data data;
            return zarn_rs232_psb_read_power(&data);
          },
          peer);
    }
  }
  zarn_rs232_psb_destroy();
  if (peer != nullptr && zarn_rs232_drvb_create(url.c_str(), 200) == 0) {
    for (int i = 0; i < 3 && peer != nullptr; ++i)
      timed(
          "stop", [] { return zarn_rs232_drvb_set_velocity(0, 0); }, peer);
  }
  zarn_rs232_drvb_destroy();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tavik::test;
  if (argc > 1) watchdog_s = std::atoi(argv[1]);
  const struct {
    const char* name;
    HostileBehaviour behaviour;
    const char* scheme;
  } peers[] = {
      {"random bytes", {random_bytes()}, "tcp"},
      {"acknowledgement frames", {ack_frames()}, "tcp"},
      {"silent", {}, "rfc2217"},
      {"random bytes", {random_bytes()}, "rfc2217"},
      {"acknowledgement frames", {ack_frames()}, "rfc2217"},
      {"negotiation storm", {negotiation_storm()}, "rfc2217"},
      {"endless subnegotiation", {endless_subnegotiation()}, "rfc2217"},
      {"agreed, then random bytes", {random_bytes(), true}, "rfc2217"},
      {"agreed, then acknowledgement frames", {ack_frames(), true}, "rfc2217"},
      {"agreed, then negotiation storm", {negotiation_storm(), true}, "rfc2217"},
      {"agreed, then endless subnegotiation", {endless_subnegotiation(), true}, "rfc2217"},
  };
  for (const auto& p : peers) run(p.name, p.behaviour, p.scheme);
}
