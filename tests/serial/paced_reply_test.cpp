// Replies that come a byte at a time at the line rate, as from a UART that
// hands each byte on as it arrives: each command reads its reply whole, also
// across a pause longer than the gap between bytes, a short frame is judged
// for what it is, and a long reply costs the calling thread a few waits
// rather than one per byte.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <functional>

#include "tavik/rs232_error.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/drvb_peer_replies.h"
#include "tests/support/peers/paced_peer.h"
#include "tests/support/peers/psb_peer_replies.h"
#include "tests/support/scenarios/zarn_calls.h"

namespace tavik {
namespace {

using std::chrono::milliseconds;

// The calling thread's waits so far, each a sleep and a wake-up.
long waits() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_nvcsw;
}

int max_distance() { return zarn_rs232_psb_set_usonic_max_dist(3); }

struct Case {
  const char* name;
  bool drive;  // the drive board's line, else the PSB's
  std::function<int()> call;
  test::PacedReply reply;
  int outcome;      // TAVIK_RS232_OK, else what zarn_rs232_last_error() says
  long most_waits;  // half the reply's bytes (one a byte before); 0: not counted
};

TEST(PacedReplies, ReadWholeInAFewWaits) {
  const sim::Bytes counted = sim::counted_frame(test::sar_data({{0, 200}, {1, 44}}));
  const sim::Bytes counts = sim::frame("00000001234-000000056");
  const Case cases[] = {
      {"ranges, 44 bytes", false, test::read_ranges, {counted}, TAVIK_RS232_OK, 22},
      {"ranges, held back 30 ms before byte 20",
       false,
       test::read_ranges,
       {counted, 20, milliseconds(30)},
       TAVIK_RS232_OK,
       0},
      {"encoder counts, 24 bytes", true, test::read_encoder, {counts}, TAVIK_RS232_OK, 12},
      {"encoder refused", true, test::read_encoder, {sim::status_frame('1')}, TAVIK_RS232_REFUSED, 0},
      {"encoder answered by an acknowledgement",
       true,
       test::read_encoder,
       {sim::frame("0")},
       TAVIK_RS232_UNEXPECTED_REPLY,
       0},
      {"bumpers, 12 bytes", true, test::read_bumpers, {test::aa_reply(0, 0, '0', '0')}, TAVIK_RS232_OK, 0},
      {"maximum distance echoed", false, max_distance, {sim::frame("SDU4")}, TAVIK_RS232_OK, 0},
      {"power data, text", false, test::read_power, {sim::frame("12;0;0;5;0;0;9;2;4")}, TAVIK_RS232_OK, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::PacedPeer peer(c.reply);
    ASSERT_EQ(c.drive ? zarn_rs232_drvb_create(peer.path().c_str(), 200)
                      : zarn_rs232_psb_create(peer.path().c_str(), 200),
              0);
    const long before = waits();
    const int result = c.call();
    const long spent = waits() - before;
    EXPECT_EQ(result == 0 ? TAVIK_RS232_OK : zarn_rs232_last_error(), c.outcome);
    if (c.most_waits > 0) {
      EXPECT_LE(spent, c.most_waits) << "the board's latest byte was " << peer.worst_lateness().count()
                                     << " us late";
    }
    if (c.drive) {
      zarn_rs232_drvb_destroy();
    } else {
      zarn_rs232_psb_destroy();
    }
  }
}

}  // namespace
}  // namespace tavik
