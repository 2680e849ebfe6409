#include <gtest/gtest.h>

#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/psb_peer_replies.h"
#include "tests/support/peers/scripted_peer.h"
#include "tests/support/scenarios/lifetime_stress.h"

namespace tavik {
namespace {

TEST(PsbLifetimeStress, ZarnCommandsWhileCreatingAndDestroying) {
  test::ScriptedPeer peer;
  peer.respond(test::good_psb_reply);
  test::stress_create_destroy(
      peer.path(), zarn_rs232_psb_create, zarn_rs232_psb_destroy,
      [] {
        psb_power_data d;
        return zarn_rs232_psb_read_power(&d);
      },
      [] {
        int r[7];
        return zarn_rs232_psb_read_usonic(r);
      },
      [] { return zarn_rs232_psb_set_power_control(2, 1); });
}

TEST(PsbLifetimeStress, VelkCommandsWhileCreatingAndDestroying) {
  test::ScriptedPeer peer;
  peer.respond(test::good_psb_reply);
  test::stress_create_destroy(
      peer.path(), velk_rs232_psb_create, velk_rs232_psb_destroy,
      [] {
        psb_sensor_data d;
        return velk_rs232_psb_read_sensor(&d);
      },
      [] {
        psb_power_data d;
        return velk_rs232_psb_read_power(&d);
      },
      [] { return velk_rs232_psb_set_usonic_max_dist(1); });
}

}  // namespace
}  // namespace tavik
