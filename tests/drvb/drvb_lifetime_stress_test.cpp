#include <gtest/gtest.h>

#include "tavik/zarn_rs232.h"
#include "tests/support/peers/drvb_peer_replies.h"
#include "tests/support/peers/scripted_peer.h"
#include "tests/support/scenarios/lifetime_stress.h"

namespace tavik {
namespace {

// set_parameter holds the lock over three exchanges: destroy waits for all of them.
TEST(DrvbLifetimeStress, CommandsWhileCreatingAndDestroying) {
  test::ScriptedPeer peer;
  peer.respond(test::good_drvb_reply);
  test::stress_create_destroy(
      peer.path(), zarn_rs232_drvb_create, zarn_rs232_drvb_destroy,
      [] { return zarn_rs232_drvb_set_velocity(200, -200); },
      [] {
        int l, r;
        return zarn_rs232_drvb_read_encoder(&l, &r);
      },
      [] { return zarn_rs232_drvb_set_parameter(0, 500); });
}

}  // namespace
}  // namespace tavik
