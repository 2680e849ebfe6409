// A success is only ever the board's answer to the request just sent: a
// reply of another shape is refused, a reply that comes after its command
// gave up is not taken for the next command's, and the line is good again
// for the command after that.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <span>
#include <string>
#include <tuple>

#include "drvb_peer_replies.h"
#include "psb_peer_replies.h"
#include "sim/simulator.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"
#include "zarn_calls.h"

namespace tavik {
namespace {

using sim::Bytes;
using sim::frame;
using std::chrono::milliseconds;

constexpr int kTimeoutMs = 100;
constexpr milliseconds kLate{kTimeoutMs + 50};

struct Command {
  const char* name;
  std::function<int()> call;
  Bytes reply;  // the board's good answer
  int requests = 1;
};

const Bytes kAck = frame("0");
const Bytes kCounts = frame("00000001234-000000056");
const Bytes kStatusBits = test::aa_reply(0, 0, '0', '0');
const Bytes kValue = frame("0120");
const Bytes kPowerText = frame("12;0;0;5;0;0;9;2;4");
const Bytes kRanges = sim::counted_frame(test::sar_data({{0, 200}}));

const Command kDrvb[] = {
    {"velocity", [] { return zarn_rs232_drvb_set_velocity(300, 300); }, kAck},
    {"servo", [] { return zarn_rs232_drvb_set_servo(1); }, kAck, 2},
    {"drive error reset", zarn_rs232_drvb_set_drive_err_reset, kAck},
    {"encoder", test::read_encoder, kCounts},
    {"bumpers", test::read_bumpers, kStatusBits},
    {"parameter", test::read_max_velocity, kValue},
};
const Command kPsb[] = {
    {"power control", [] { return zarn_rs232_psb_set_power_control(2, 1); }, kAck},
    {"max distance", [] { return zarn_rs232_psb_set_usonic_max_dist(3); }, frame("SDU4")},
    {"power data", test::read_power, kPowerText},
    {"ranges", test::read_ranges, kRanges},
};

class LateReplies : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(zarn_rs232_drvb_create(drvb_.path().c_str(), kTimeoutMs), 0);
    ASSERT_EQ(zarn_rs232_psb_create(psb_.path().c_str(), kTimeoutMs), 0);
  }
  void TearDown() override {
    zarn_rs232_drvb_destroy();
    zarn_rs232_psb_destroy();
  }

  // Each command's good reply as the answer to every request nothing else
  // is queued for.
  static void answer_well(test::ScriptedPeer& peer, bool drive) {
    peer.respond(drive ? test::good_drvb_reply : test::good_psb_reply);
  }

  test::ScriptedPeer drvb_;
  test::ScriptedPeer psb_;
};

// Every command kind after every other's late reply; the board does not
// answer the second command, so any 0 is a late reply taken for an answer.
TEST_F(LateReplies, ALateReplyNeverAnswersTheNextCommand) {
  for (auto [peer, commands, drive] : {std::tuple{&drvb_, std::span<const Command>(kDrvb), true},
                                       std::tuple{&psb_, std::span<const Command>(kPsb), false}}) {
    answer_well(*peer, drive);
    for (const Command& first : commands) {
      for (const Command& second : commands) {
        peer->queue({first.reply, kLate});  // too late for `first`
        for (int i = 1; i < first.requests; ++i) peer->queue({{}, {}});
        for (int i = 0; i < second.requests; ++i) peer->queue({{}, {}});  // `second` is not answered
        EXPECT_EQ(first.call(), -1) << first.name;
        EXPECT_EQ(second.call(), -1) << second.name << " after a late " << first.name << " reply";
        EXPECT_EQ(second.call(), 0) << second.name << ", the line good again after " << first.name;
      }
    }
  }
  EXPECT_GT(zarn_rs232_drvb_late_replies(), 0u);
  EXPECT_GT(zarn_rs232_psb_late_replies(), 0u);
}

// A well-formed reply of another command's shape is refused as unexpected.
TEST_F(LateReplies, AReplyOfAnotherShapeIsUnexpected) {
  for (auto [peer, commands, drive] : {std::tuple{&drvb_, std::span<const Command>(kDrvb), true},
                                       std::tuple{&psb_, std::span<const Command>(kPsb), false}}) {
    answer_well(*peer, drive);
    for (const Command& command : commands) {
      for (const Bytes& foreign : {kAck, kCounts, kValue, kPowerText, frame("SDU4"), kRanges, kStatusBits}) {
        if (foreign == command.reply) continue;
        for (int i = 0; i < command.requests; ++i) peer->queue({foreign, {}});
        EXPECT_EQ(command.call(), -1) << command.name << " took " << ::testing::PrintToString(foreign);
        // Read in another framing, a frame may also be cut short or too long.
        const bool framed_alike =
            command.reply != kRanges && command.reply != kStatusBits && foreign != kStatusBits;
        const int why = zarn_rs232_last_error();
        EXPECT_TRUE(why == TAVIK_RS232_UNEXPECTED_REPLY || (!framed_alike && why == TAVIK_RS232_MALFORMED))
            << command.name << " given " << ::testing::PrintToString(foreign) << ": "
            << zarn_rs232_error_text(why);
        EXPECT_EQ(command.call(), 0) << command.name << ", the line good again";
      }
    }
  }
}

// A stop after a failure goes out at once; when the late reply could be
// taken for its acknowledgement, it goes once more, and that answer counts.
TEST_F(LateReplies, AStopAfterAFailureIsAnsweredAsAStop) {
  answer_well(drvb_, true);
  const Bytes stop = frame("BE;");
  struct Case {
    const char* name;
    std::function<int()> failing;
    Bytes late;
    std::size_t stops_sent;
  };
  const Case cases[] = {
      {"after an unanswered velocity", [] { return zarn_rs232_drvb_set_velocity(200, 200); }, kAck, 2},
      {"after an unanswered encoder read", test::read_encoder, kCounts, 1},
  };
  for (const Case& c : cases) {
    drvb_.queue({c.late, kLate});
    drvb_.queue({{}, {}});  // the first stop is not answered
    EXPECT_EQ(c.failing(), -1) << c.name;
    drvb_.clear_requests();
    const int result = zarn_rs232_drvb_set_velocity(0, 0);
    const auto requests = drvb_.take_requests();
    EXPECT_EQ(requests.size(), c.stops_sent) << c.name;
    for (const Bytes& r : requests) EXPECT_EQ(r, stop) << c.name;
    // Two stops: the second is answered. One: unanswered, a failure.
    EXPECT_EQ(result, c.stops_sent == 2 ? 0 : -1) << c.name;
  }
}

// The simulator's own faults: one reply late, the next command unanswered.
TEST(LateRepliesSim, TheSimulatorsLateRepliesAreNotAcknowledgements) {
  sim::Simulator sim;
  ASSERT_EQ(zarn_rs232_drvb_create(sim.drvb_path().c_str(), kTimeoutMs), 0);
  ASSERT_EQ(velk_rs232_psb_create(sim.psb_path().c_str(), kTimeoutMs), 0);
  struct Case {
    const char* late;
    const char* silent;
    std::function<int()> first;
    std::function<int()> second;
  };
  const Case cases[] = {
      {"drvb AC", "drvb BE", test::read_encoder, [] { return zarn_rs232_drvb_set_velocity(0, 0); }},
      {"drvb CG", "drvb BE", zarn_rs232_drvb_set_drive_err_reset,
       [] { return zarn_rs232_drvb_set_velocity(300, 300); }},
      {"psb PDR", "psb SDU",
       [] {
         psb_power_data d;
         return velk_rs232_psb_read_power(&d);
       },
       [] { return velk_rs232_psb_set_usonic_max_dist(2); }},
  };
  for (const Case& c : cases) {
    sim.clear_faults();
    ASSERT_EQ(sim.execute(std::string("fault ") + c.late + " delay " + std::to_string(kLate.count()))
                  .rfind("error", 0),
              std::string::npos);
    ASSERT_EQ(sim.execute(std::string("fault ") + c.silent + " silence").rfind("error", 0),
              std::string::npos);
    for (int attempt = 0; attempt < 3; ++attempt) {
      EXPECT_EQ(c.first(), -1) << c.late;
      EXPECT_EQ(c.second(), -1) << c.silent << " after a late " << c.late << " reply";
    }
    sim.clear_faults();
    EXPECT_EQ(c.second(), 0) << c.silent << " once the board answers";
  }
  zarn_rs232_drvb_destroy();
  velk_rs232_psb_destroy();
}

}  // namespace
}  // namespace tavik
