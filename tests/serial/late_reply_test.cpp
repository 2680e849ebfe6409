// A success is only ever the board's answer to the request just sent: a
// reply of another shape is refused, a reply that comes after its command
// gave up is not taken for the next command's, and the line is good again
// for the command after that.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "sim/simulator.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/drvb_peer_replies.h"
#include "tests/support/peers/psb_peer_replies.h"
#include "tests/support/scenarios/zarn_calls.h"

namespace tavik {
namespace {

using sim::Bytes;
using sim::frame;
using std::chrono::milliseconds;

// Margins of a tenth of a second or more, so that a busy machine's pauses do
// not reorder what the peer sends and what the library waits for.
constexpr int kTimeoutMs = 200;
constexpr milliseconds kLate{kTimeoutMs + 100};
// A reply to the request sent when the one before it failed, right behind
// that one's late reply, as a board answers in order.
constexpr milliseconds kBehind{kLate - milliseconds(kTimeoutMs)};

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

// Every command kind after every other's late reply; the board answers
// nothing else, so any 0 is a late reply taken for an answer, but for the
// same velocity twice: whichever of the two the answer is for, the board
// holds that velocity. The second request is not held back for the late
// reply: it reaches the board while that reply is still on its way.
TEST_F(LateReplies, ALateReplyNeverAnswersTheNextCommand) {
  int void_cases = 0;
  for (auto [peer, commands, drive] : {std::tuple{&drvb_, std::span<const Command>(kDrvb), true},
                                       std::tuple{&psb_, std::span<const Command>(kPsb), false}}) {
    for (const Command& first : commands) {
      for (const Command& second : commands) {
        peer->respond(nullptr);
        const int overlaps = peer->overlaps();
        peer->queue({first.reply, kLate});  // too late for `first`
        // A reader held up past the late reply's arrival (a busy machine)
        // rightly takes it: nothing is left on its way to test the second by.
        if (first.call() == 0) continue;
        // The same velocity may take it (whether it came in time for it or not).
        const bool velocity_alike = &first == &second && std::string(first.name) == "velocity";
        const int result = second.call();
        if (!velocity_alike) {
          EXPECT_EQ(result, -1) << second.name << " after a late " << first.name << " reply";
        }
        // Where the test itself was held up until the late reply had come,
        // the second went out after it: nothing overlapped, the case is void
        // (the late replies counted below show the others ran).
        if (peer->overlaps() == overlaps) ++void_cases;
        answer_well(*peer, drive);
        // A peer held up itself (a busy machine) may send the late reply
        // after its window closed, to spoil one call more; the next is good.
        EXPECT_TRUE(second.call() == 0 || second.call() == 0)
            << second.name << ", the line good again after " << first.name;
      }
    }
  }
  EXPECT_LT(void_cases, 10) << "the second request hardly ever went out while the late reply was on its way";
  EXPECT_GT(zarn_rs232_drvb_late_replies(), 0u);
  EXPECT_GT(zarn_rs232_psb_late_replies(), 0u);
}

// With the late reply on its way, the second command's own answer counts,
// sent once when the two can be told apart and once more after the window
// when they cannot (two acknowledgements, two reads alike).
TEST_F(LateReplies, TheAnswerBehindALateReplyCounts) {
  for (auto [peer, commands, drive] : {std::tuple{&drvb_, std::span<const Command>(kDrvb), true},
                                       std::tuple{&psb_, std::span<const Command>(kPsb), false}}) {
    for (const Command& first : commands) {
      for (const Command& second : commands) {
        peer->respond(nullptr);
        peer->queue({first.reply, kLate});
        for (int i = 1; i < first.requests; ++i) peer->queue({{}, {}});
        first.call();  // fails, or takes its own late reply where the reader was held up past it
        answer_well(*peer, drive);
        peer->queue({second.reply, kBehind});
        for (int i = 1; i < second.requests; ++i) peer->queue({second.reply, {}});
        peer->clear_requests();
        EXPECT_EQ(second.call(), 0) << second.name << " behind a late " << first.name << " reply";
        // The same velocity twice took the first one's answer: the second's
        // own is still on its way, and would answer the next velocity.
        if (&first == &second && std::string(first.name) == "velocity") std::this_thread::sleep_for(kLate);
      }
    }
  }
}

// What the boards' contract accepts is accepted; a frame that cannot be the
// answer (too short for the counts, another framing) is refused.
TEST_F(LateReplies, EveryReplyTheContractAcceptsIsAccepted) {
  struct Case {
    const char* command;
    std::function<int()> call;
    Bytes reply;
    int reason;  // TAVIK_RS232_OK when accepted
  };
  const auto velocity = [] { return zarn_rs232_drvb_set_velocity(300, 300); };
  const auto max_distance = [] { return zarn_rs232_psb_set_usonic_max_dist(3); };
  const auto reset = zarn_rs232_drvb_set_drive_err_reset;
  const Case cases[] = {
      {"velocity", velocity, kAck, TAVIK_RS232_OK},
      {"velocity", velocity, frame("0;15"), TAVIK_RS232_OK},
      {"velocity", velocity, kCounts, TAVIK_RS232_OK},
      {"velocity", velocity, frame("1"), TAVIK_RS232_REFUSED},
      {"velocity", velocity, frame("1;15"), TAVIK_RS232_REFUSED},
      {"drive error reset", reset, frame("0 cleared"), TAVIK_RS232_OK},
      {"max distance", max_distance, frame("SDU4"), TAVIK_RS232_OK},
      {"max distance", max_distance, frame("0"), TAVIK_RS232_OK},
      {"max distance", max_distance, frame("1"), TAVIK_RS232_OK},
      {"max distance", max_distance, frame("0;15"), TAVIK_RS232_OK},
      {"max distance", max_distance, frame(""), TAVIK_RS232_OK},
      {"max distance", max_distance, kRanges, TAVIK_RS232_OK},  // read as text up to its first ETX
      {"parameter", test::read_max_velocity, kValue, TAVIK_RS232_OK},
      {"parameter", test::read_max_velocity, kAck, TAVIK_RS232_OK},
      {"parameter", test::read_max_velocity, frame("0;15"), TAVIK_RS232_OK},
      {"parameter", test::read_max_velocity, frame("2"), TAVIK_RS232_REFUSED},
      {"encoder", test::read_encoder, kCounts, TAVIK_RS232_OK},
      {"encoder", test::read_encoder, frame("00000001234-000000056;7"), TAVIK_RS232_OK},
      {"encoder", test::read_encoder, kAck, TAVIK_RS232_UNEXPECTED_REPLY},
      {"encoder", test::read_encoder, frame("1"), TAVIK_RS232_REFUSED},
      {"power data", test::read_power, kPowerText, TAVIK_RS232_OK},
      {"power data", test::read_power, kAck, TAVIK_RS232_UNEXPECTED_REPLY},
      {"bumpers", test::read_bumpers, kStatusBits, TAVIK_RS232_OK},
      {"bumpers", test::read_bumpers, kAck, TAVIK_RS232_MALFORMED},  // four bytes of twelve
      {"ranges", test::read_ranges, kRanges, TAVIK_RS232_OK},
  };
  answer_well(drvb_, true);
  answer_well(psb_, false);
  for (const Case& c : cases) {
    const std::string command = c.command;
    const bool on_psb = command == "max distance" || command == "power data" || command == "ranges";
    (on_psb ? psb_ : drvb_).queue({c.reply, {}});
    const int result = c.call();
    const int why = result == 0 ? TAVIK_RS232_OK : zarn_rs232_last_error();
    EXPECT_EQ(why, c.reason) << command << " given " << ::testing::PrintToString(c.reply) << ": "
                             << zarn_rs232_error_text(why);
    EXPECT_EQ(c.call(), 0) << command << ", the line good again";
    std::this_thread::sleep_for(milliseconds(kTimeoutMs));  // no case's window reaches the next
  }
}

// A stop after a failure goes out at once; when its answer could be the
// late one, the frame behind it decides, else the stop goes once more.
TEST_F(LateReplies, AStopAfterAFailureIsAnsweredAsAStop) {
  const Bytes stop = frame("BE;");
  struct Case {
    const char* name;
    std::function<int()> failing;
    std::vector<test::ScriptedReply> replies;  // to the failing request, then to the stops
    std::size_t stops_sent;
  };
  const auto velocity = [] { return zarn_rs232_drvb_set_velocity(200, 200); };
  const Case cases[] = {
      {"after a late velocity answer", velocity, {{kAck, kLate}, {kAck, kBehind}}, 1},
      {"after a late velocity answer, the stop's lost", velocity, {{kAck, kLate}, {}, {kAck, {}}}, 2},
      {"after an unanswered velocity", velocity, {{}, {kAck, {}}, {kAck, {}}}, 2},
      {"after a late encoder answer", test::read_encoder, {{kCounts, kLate}, {kAck, kBehind}}, 1},
  };
  for (const Case& c : cases) {
    drvb_.respond(nullptr);
    for (const test::ScriptedReply& r : c.replies) drvb_.queue(r);
    EXPECT_EQ(c.failing(), -1) << c.name;
    drvb_.clear_requests();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(zarn_rs232_drvb_set_velocity(0, 0), 0) << c.name;
    const auto took = std::chrono::steady_clock::now() - start;
    const auto requests = drvb_.take_requests();
    EXPECT_EQ(requests.size(), c.stops_sent) << c.name;
    for (const Bytes& r : requests) EXPECT_EQ(r, stop) << c.name;
    // Within the late reply's window and one more exchange.
    EXPECT_LT(took, milliseconds(3 * kTimeoutMs + 100)) << c.name;
  }
}

// A stop that went twice took one answer; the other, late, is not the next
// read's value.
TEST_F(LateReplies, TheOtherAnswerOfARepeatedRequestIsNotTheNextOnes) {
  drvb_.respond(nullptr);
  // Each late; the board answers in order.
  drvb_.queue({kAck, kLate});  // the velocity's: the stop's cannot be told from it
  drvb_.queue({kAck, kLate});  // the stop's, taken for the answer to the stop sent once more
  drvb_.queue({kAck, milliseconds(kTimeoutMs)});  // the second stop's, on its way while the read is sent
  drvb_.queue({kValue, {}});
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(200, 200), -1);
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(0, 0), 0);
  int value = 0;
  EXPECT_EQ(zarn_rs232_drvb_read_parameter(0, &value), 0);
  EXPECT_EQ(value, 120) << "the stop's other acknowledgement taken for the value";
}

// A spoiled answer (bad check byte, cut short) was the answer: nothing late
// is awaited after it, and the next command takes its first good frame.
TEST_F(LateReplies, NoWindowAfterASpoiledAnswer) {
  Bytes spoiled = kAck;
  spoiled.back() ^= 0x55;
  for (const Bytes& bad : {spoiled, Bytes(kCounts.begin(), kCounts.begin() + 6)}) {
    drvb_.respond(nullptr);
    drvb_.queue({bad, {}});
    drvb_.queue({kAck, {}});
    EXPECT_EQ(zarn_rs232_drvb_set_velocity(200, 200), -1);
    drvb_.clear_requests();
    EXPECT_EQ(zarn_rs232_drvb_set_drive_err_reset(), 0);
    EXPECT_EQ(drvb_.take_requests().size(), 1u)
        << "an acknowledgement after " << ::testing::PrintToString(bad);
  }
}

// A read whose answer cannot be told from a late one goes once more, but
// not while a velocity waits: then it fails and leaves the velocity the line.
TEST_F(LateReplies, ReadsGiveWayToAWaitingVelocity) {
  for (const bool driving : {false, true}) {
    drvb_.respond(nullptr);
    drvb_.queue({});             // the encoder read unanswered
    drvb_.queue({kCounts, {}});  // the next one's answer, or the first one's, late
    drvb_.queue({kCounts, {}});  // the repetition's
    EXPECT_EQ(test::read_encoder(), -1);
    drvb_.clear_requests();
    int result = 0;
    std::thread read([&result] { result = test::read_encoder(); });
    if (driving) {
      ASSERT_TRUE(drvb_.wait_for_requests(1, milliseconds(1000)));  // the read is on the wire
      zarn_rs232_drvb_set_velocity(200, 200);
    }
    read.join();
    EXPECT_EQ(result, driving ? -1 : 0) << (driving ? "a velocity waits" : "no velocity waits");
    const auto requests = drvb_.take_requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), frame("AC0")), driving ? 1 : 2);
  }
}

// The same read again within the copy window leaves the line to a velocity
// that comes while it waits, and goes after it: nothing of it was sent, so
// the poll keeps its reading (a drive's first velocity beside the first poll
// cost that poll its encoders).
TEST_F(LateReplies, AReadWaitingOutACopyGoesAfterTheVelocity) {
  answer_well(drvb_, true);
  ASSERT_EQ(test::read_encoder(), 0);
  drvb_.clear_requests();
  int result = -1;
  std::thread read([&result] { result = test::read_encoder(); });
  std::this_thread::sleep_for(milliseconds(5));  // the read waits out the copy window
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(200, 200), 0);
  read.join();
  EXPECT_EQ(result, 0);
  const auto requests = drvb_.take_requests();
  EXPECT_EQ(std::count(requests.begin(), requests.end(), frame("AC0")), 1);
}

// A read that gave way leaves its other answer to come or already read, as
// a request sent twice does: the next read of its kind takes a frame that
// answers both as its own rather than giving way in turn, which repeated
// itself poll after poll while a drive was held beside the reads.
TEST_F(LateReplies, AReadThatGaveWayLeavesTheNextOneItsAnswer) {
  drvb_.respond(nullptr);
  drvb_.queue({});
  EXPECT_EQ(test::read_encoder(), -1);
  answer_well(drvb_, true);
  for (const int expected : {-1, 0}) {
    drvb_.clear_requests();
    int result = 0;
    std::thread read([&result] { result = test::read_encoder(); });
    ASSERT_TRUE(drvb_.wait_for_requests(1, milliseconds(1000)));
    EXPECT_EQ(zarn_rs232_drvb_set_velocity(200, 200), 0);
    read.join();
    EXPECT_EQ(result, expected) << (expected == 0 ? "gave way again" : "did not give way");
  }
}

// After an unanswered velocity, the same velocity's prompt acknowledgement is
// taken at once: whichever of the two it answers, the board holds that
// velocity. One whose effect differs (another velocity, a stop) still waits
// for the window and goes once more.
TEST_F(LateReplies, AVelocityAlikeTakesAnAnswerThatCouldBeEither) {
  struct Case {
    const char* name;
    int left, right;  // the second velocity; the first is 300,300
    std::size_t sent;
  };
  const Case cases[] = {
      {"the same velocity", 300, 300, 1},
      {"another velocity", 200, 200, 2},
      {"a stop", 0, 0, 2},
  };
  for (const Case& c : cases) {
    drvb_.respond(nullptr);
    drvb_.queue({});
    EXPECT_EQ(zarn_rs232_drvb_set_velocity(300, 300), -1) << c.name;
    answer_well(drvb_, true);
    drvb_.clear_requests();
    EXPECT_EQ(zarn_rs232_drvb_set_velocity(c.left, c.right), 0) << c.name;
    EXPECT_EQ(drvb_.take_requests().size(), c.sent) << c.name;
    std::this_thread::sleep_for(milliseconds(2 * kTimeoutMs));
  }
  // The first one's answer late, taken for the second's: the second's own,
  // behind it, is not the answer to a stop the board leaves unanswered.
  drvb_.respond(nullptr);
  drvb_.queue({kAck, kLate});
  drvb_.queue({kAck, kBehind});
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(300, 300), -1);
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(300, 300), 0);
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(0, 0), -1) << "the velocity's own answer taken for the stop's";
}

// A read settling which request a frame answered gives the line up as soon
// as a velocity waits: the velocity waits for no window. With a time-out of
// a second, the window would hold it for most of one.
TEST_F(LateReplies, AVelocityWaitsForNoReadsWindow) {
  ASSERT_EQ(zarn_rs232_drvb_create(drvb_.path().c_str(), 1000), 0);
  drvb_.respond(nullptr);
  drvb_.queue({});             // the encoder read unanswered
  drvb_.queue({kCounts, {}});  // the next one's answer, or the first one's, late
  answer_well(drvb_, true);
  EXPECT_EQ(test::read_encoder(), -1);
  drvb_.clear_requests();
  int result = 0;
  std::thread read([&result] { result = test::read_encoder(); });
  ASSERT_TRUE(drvb_.wait_for_requests(1, milliseconds(2000)));
  std::this_thread::sleep_for(milliseconds(20));  // the answer is in: the read is settling
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(200, 200), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(500))
      << "the velocity waited for the window";
  read.join();
  EXPECT_EQ(result, -1);
  // The read's own answer, should it come, is not the next command's.
  drvb_.respond(nullptr);
  drvb_.queue({kCounts, {}});
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(200, 200), -1) << "counts taken for an acknowledgement";
}

// A reply the board sent twice: its copy, coming a few milliseconds behind
// it, is not the next request's answer, whether that request went out before
// the copy came (the velocity) or waits it out (the same read again).
TEST_F(LateReplies, ACopyOfTheLastAnswerIsNotTheNextOnes) {
  const auto velocity = [] { return zarn_rs232_drvb_set_velocity(300, 300); };
  const auto value_130 = [] {
    int value = 0;
    return zarn_rs232_drvb_read_parameter(0, &value) == 0 && value == 130 ? 0 : -1;
  };
  const auto encoder_99 = [] {
    int left = 0, right = 0;
    return zarn_rs232_drvb_read_encoder(&left, &right) == 0 && left == 99 ? 0 : -1;
  };
  const auto zarn_power_7 = [] {
    psb_power_data data{};
    return zarn_rs232_psb_read_power(&data) == 0 && data.battery_volt == 700 ? 0 : -1;
  };
  const Bytes power_7 = frame("7;0;0;5;0;0;9;2;4");
  struct Case {
    const char* name;
    test::ScriptedPeer& peer;
    std::function<int()> first;
    Bytes answer;
    std::function<int()> second;
    Bytes second_answer;  // empty: none
    int result;
  };
  const Case cases[] = {
      {"parameter read", drvb_, test::read_max_velocity, kValue, value_130, frame("0130"), 0},
      {"encoder read", drvb_, test::read_encoder, kCounts, encoder_99, frame("00000000099-000000056"), 0},
      {"power read", psb_, test::read_power, kPowerText, zarn_power_7, power_7, 0},
      {"velocity after an encoder read", drvb_, test::read_encoder, kCounts, velocity, {}, -1},
  };
  const auto run = [](const Case& c) {
    c.peer.respond(nullptr);
    c.peer.queue({c.answer, {}});
    c.peer.queue({c.second_answer, milliseconds(10)});
    EXPECT_EQ(c.first(), 0) << c.name;
    std::jthread copy([&] {
      std::this_thread::sleep_for(milliseconds(5));
      c.peer.send_now(c.answer);
    });
    EXPECT_EQ(c.second(), c.result) << c.name << ": the copy taken for the answer";
    copy.join();
    std::this_thread::sleep_for(milliseconds(2 * kTimeoutMs));
  };
  for (const Case& c : cases) run(c);
  // The other library's power board connection, on the same line.
  zarn_rs232_psb_destroy();
  ASSERT_EQ(velk_rs232_psb_create(psb_.path().c_str(), kTimeoutMs), 0);
  const auto velk_power_7 = [] {
    psb_power_data data{};
    return velk_rs232_psb_read_power(&data) == 0 && data.battery_volt == 700 ? 0 : -1;
  };
  const auto velk_power = [] {
    psb_power_data data{};
    return velk_rs232_psb_read_power(&data);
  };
  run({"velk power read", psb_, velk_power, kPowerText, velk_power_7, power_7, 0});
  velk_rs232_psb_destroy();
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
      // Late, so it fails; but a reader held up (a loaded machine) until the
      // reply has come takes it, as the board's own answer.
      c.first();
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
