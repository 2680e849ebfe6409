#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "serial/transport/serial_port.h"
#include "sim/models/frame_builder.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/psb_peer_replies.h"
#include "tests/support/peers/pty_test_util.h"
#include "tests/support/peers/scripted_peer.h"

namespace tavik {
namespace {

using sim::Bytes;
using sim::frame;
using std::chrono::milliseconds;

std::vector<std::int32_t> fields(const psb_power_data& d) {
  return {d.battery_volt, d.consum_cur, d.drive_state, d.sensors_state, d.lrf_state,
          d.sbc_state,    d.sg_state,   d.lcd_state,   d.servo_state};
}

class ZarnPsb : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(zarn_rs232_psb_create(peer_.path().c_str(), 100), 0); }
  void TearDown() override { zarn_rs232_psb_destroy(); }

  test::ScriptedPeer peer_;
};

TEST_F(ZarnPsb, RequestFramesByteForByte) {
  peer_.respond(test::good_psb_reply);
  struct Case {
    const char* name;
    std::function<int()> call;
    Bytes frame;
  };
  int ranges[7];
  psb_power_data power;
  const Case cases[] = {
      {"Sar", [&] { return zarn_rs232_psb_read_usonic(ranges); }, {0x02, 0x53, 0x61, 0x72, 0x03, 0x43}},
      {"PDR", [&] { return zarn_rs232_psb_read_power(&power); }, {0x02, 0x50, 0x44, 0x52, 0x03, 0x45}},
      {"drive on",
       [] { return zarn_rs232_psb_set_power_control(0, 1); },
       {0x02, 0x50, 0x41, 0x31, 0x31, 0x03, 0x12}},
      {"drive off",
       [] { return zarn_rs232_psb_set_power_control(0, 0); },
       {0x02, 0x50, 0x41, 0x31, 0x30, 0x03, 0x13}},
      {"sensors on", [] { return zarn_rs232_psb_set_power_control(1, 1); }, frame("PA21")},
      {"lrf off", [] { return zarn_rs232_psb_set_power_control(2, 0); }, frame("PA30")},
      {"sbc on", [] { return zarn_rs232_psb_set_power_control(3, 1); }, frame("PA41")},
      {"sg on", [] { return zarn_rs232_psb_set_power_control(4, 1); }, frame("PA51")},
      {"lcd on",
       [] { return zarn_rs232_psb_set_power_control(5, 1); },
       {0x02, 0x50, 0x42, 0x32, 0x31, 0x03, 0x12}},
      {"servo off",
       [] { return zarn_rs232_psb_set_power_control(6, 0); },
       {0x02, 0x50, 0x42, 0x33, 0x30, 0x03, 0x12}},
      {"max dist -1", [] { return zarn_rs232_psb_set_usonic_max_dist(-1); }, frame("SDU0")},
      {"max dist 0",
       [] { return zarn_rs232_psb_set_usonic_max_dist(0); },
       {0x02, 0x53, 0x44, 0x55, 0x31, 0x03, 0x70}},
      {"max dist 3", [] { return zarn_rs232_psb_set_usonic_max_dist(3); }, frame("SDU4")},
      {"max dist 8", [] { return zarn_rs232_psb_set_usonic_max_dist(8); }, frame("SDU9")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.call(), 0) << c.name;
    EXPECT_EQ(peer_.take_requests(), std::vector<Bytes>{c.frame}) << c.name;
  }
}

TEST_F(ZarnPsb, OutOfRangeArgumentsAreRefusedWithoutSending) {
  peer_.respond(test::good_psb_reply);
  EXPECT_EQ(zarn_rs232_psb_set_usonic_max_dist(9), -1);
  EXPECT_EQ(zarn_rs232_psb_set_usonic_max_dist(-2), -1);
  EXPECT_EQ(zarn_rs232_psb_set_power_control(7, 1), -1);
  EXPECT_EQ(zarn_rs232_psb_set_power_control(0xFFFFFFFFu, 0), -1);
  EXPECT_EQ(zarn_rs232_psb_set_power_control(0, 2), -1);
  EXPECT_EQ(zarn_rs232_psb_set_power_control(0, -1), -1);
  EXPECT_EQ(zarn_rs232_psb_read_power(nullptr), -1);
  EXPECT_EQ(zarn_rs232_psb_read_usonic(nullptr), -1);
  std::this_thread::sleep_for(milliseconds(30));
  EXPECT_TRUE(peer_.requests().empty());
}

TEST_F(ZarnPsb, PowerDataDecoding) {
  struct Case {
    std::string body;
    std::vector<std::int32_t> expected;
  };
  const Case cases[] = {
      {"12;0;0;5;0;0;9;2;4", {1200, 500, 1, 0, 0, 1, 1, 0, 1}},
      {"0;0;0;0;0;0;15;0;0", {0, 0, 1, 1, 1, 1, 0, 0, 0}},
      {"0;0;0;0;0;0;16;0;0", {0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"0;0;0;0;0;0;0;1;0", {0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"0;0;0;0;0;0;0;2;0", {0, 0, 0, 0, 0, 0, 1, 0, 0}},
      {"0;0;0;0;0;0;0;3;6", {0, 0, 0, 0, 0, 0, 1, 1, 1}},
      {"0012;x;y;-7;0;0;0;0;0", {1200, 700, 0, 0, 0, 0, 0, 0, 0}},  // leading zeros, letters skipped, no sign
      {"5;;;;;;;;", {500, 0, 0, 0, 0, 0, 0, 0, 0}},                 // empty fields give 0
      {"1;2;3;4;5;6;7;8;9;10;11;12", {100, 400, 1, 1, 1, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    peer_.queue({frame(c.body), {}});
    psb_power_data data;
    EXPECT_EQ(zarn_rs232_psb_read_power(&data), 0) << c.body;
    EXPECT_EQ(fields(data), c.expected) << c.body;
  }
}

// Replies that other PSB commands get, arriving late, are not power data.
TEST_F(ZarnPsb, PowerDataRefusesOtherCommandsReplies) {
  const std::vector<std::int32_t> zeros(9, 0);
  const Bytes refused[] = {
      frame("0"),                                      // status reply of P
      frame("SDU5"),                                   // maximum-distance echo
      frame("5"),                                      // too few fields for the decoder
      frame("1;2;3;4;5;6;7;8"),                        // eight fields: field 8 missing
      frame(std::string("1;2;3;4;5;6;7;8;\x01", 17)),  // a control byte in the body
      sim::counted_frame(test::sar_data({{0, 200}, {0x3B, 0x3B}, {0x3B, 0x3B}, {0x3B, 0x3B}, {0x3B, 0x3B}})),
  };
  for (const Bytes& reply : refused) {
    peer_.queue({reply, {}});
    psb_power_data data;
    EXPECT_EQ(zarn_rs232_psb_read_power(&data), -1) << ::testing::PrintToString(reply);
    EXPECT_EQ(fields(data), zeros);
  }
}

TEST_F(ZarnPsb, PowerDataFailuresClearTheRecord) {
  const std::vector<std::int32_t> zeros(9, 0);
  psb_power_data data;
  std::memset(&data, 0x5A, sizeof data);
  Bytes bad = frame("12;0;0;5;0;0;9;2;4");
  bad.back() ^= 0x01;
  peer_.queue({bad, {}});
  EXPECT_EQ(zarn_rs232_psb_read_power(&data), -1);
  EXPECT_EQ(fields(data), zeros);

  std::memset(&data, 0x5A, sizeof data);
  EXPECT_EQ(zarn_rs232_psb_read_power(&data), -1);  // silence
  EXPECT_EQ(fields(data), zeros);

  zarn_rs232_psb_destroy();
  peer_.clear_requests();
  std::memset(&data, 0x5A, sizeof data);
  EXPECT_EQ(zarn_rs232_psb_read_power(&data), -1);
  EXPECT_EQ(fields(data), zeros);
  EXPECT_TRUE(peer_.requests().empty());
}

TEST_F(ZarnPsb, UltrasonicRangesAreBigEndian) {
  peer_.queue({sim::counted_frame(
                   test::sar_data({{0, 200}, {1, 44}, {2, 0}, {0, 0}, {0x15, 0x7C}, {255, 255}, {0, 1}})),
               {}});
  int ranges[7] = {};
  ASSERT_EQ(zarn_rs232_psb_read_usonic(ranges), 0);
  EXPECT_EQ(std::vector<int>(ranges, ranges + 7), (std::vector<int>{200, 300, 512, 0, 5500, 65535, 1}));
}

TEST_F(ZarnPsb, UltrasonicFailuresLeaveRangesUntouched) {
  Bytes bad_bcc = sim::counted_frame(test::sar_data({{0, 9}}));
  bad_bcc.back() ^= 0x80;
  Bytes short_count = sim::counted_frame(Bytes(10, 1));  // well framed, but too short for seven ranges
  Bytes wrong_etx = sim::counted_frame(test::sar_data({{0, 9}}));
  wrong_etx[42] = 0x04;
  for (const Bytes& reply : {bad_bcc, short_count, wrong_etx, Bytes{}}) {
    peer_.queue({reply, {}});
    int ranges[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(zarn_rs232_psb_read_usonic(ranges), -1);
    EXPECT_EQ(std::vector<int>(ranges, ranges + 7), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
  }
}

TEST_F(ZarnPsb, StatusAndTextReplies) {
  struct Case {
    const char* name;
    Bytes reply;
    int expected;
  };
  const Case cases[] = {
      {"accepted", frame("0"), 0},
      {"status 1 with good bcc", frame("1"), -1},
      {"bad bcc", {0x02, 0x30, 0x03, 0x34}, -1},
      {"noise before STX",
       [] {
         Bytes b{'x', 0x03, 0x31};
         auto f = frame("0");
         b.insert(b.end(), f.begin(), f.end());
         return b;
       }(),
       0},
      {"silent", {}, -1},
  };
  for (const auto& c : cases) {
    peer_.queue({c.reply, {}});
    EXPECT_EQ(zarn_rs232_psb_set_power_control(3, 1), c.expected) << c.name;
  }
  // The distance is acknowledged by the echo of its own request only.
  const Case distance_cases[] = {
      {"echo", frame("SDU3"), 0},
      {"echo of another code", frame("SDU4"), -1},
      {"other text", frame("anything"), -1},
      {"empty text", {0x02, 0x03, 0x03}, -1},
      {"bad bcc", {0x02, 'A', 0x03, 0x00}, -1},
  };
  for (const auto& c : distance_cases) {
    peer_.queue({c.reply, {}});
    EXPECT_EQ(zarn_rs232_psb_set_usonic_max_dist(2), c.expected) << c.name;
  }
}

TEST_F(ZarnPsb, StaleBytesBeforeTheRequestAreDiscarded) {
  peer_.send_now(frame("99;0;0;99;0;0;0;0;0"));  // a late reply to an earlier command
  std::this_thread::sleep_for(milliseconds(20));
  peer_.queue({frame("12;0;0;5;0;0;9;2;4"), {}});
  psb_power_data data;
  ASSERT_EQ(zarn_rs232_psb_read_power(&data), 0);
  EXPECT_EQ(data.battery_volt, 1200);
  EXPECT_EQ(data.consum_cur, 500);
}

TEST_F(ZarnPsb, OversizedRepliesFailWithoutOverrun) {
  Bytes endless{0x02};
  endless.insert(endless.end(), 600, '7');
  peer_.queue({endless, {}});
  psb_power_data data;
  EXPECT_EQ(zarn_rs232_psb_read_power(&data), -1);
  Bytes huge_count{0x02, 0xFF};
  huge_count.insert(huge_count.end(), 300, 0x03);
  peer_.queue({huge_count, {}});
  int ranges[7] = {};
  EXPECT_EQ(zarn_rs232_psb_read_usonic(ranges), -1);
  // The line is usable again afterwards.
  peer_.respond(test::good_psb_reply);
  EXPECT_EQ(zarn_rs232_psb_read_power(&data), 0);
}

TEST_F(ZarnPsb, SilentBoardCostsAboutOneTimeOut) {
  psb_power_data data;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(zarn_rs232_psb_read_power(&data), -1);
  EXPECT_GE(test::elapsed_ms(start), 95.0);
  EXPECT_LT(test::elapsed_ms(start), 1000.0);
}

TEST_F(ZarnPsb, ImmediateRepliesAreNeverLost) {
  peer_.respond(test::good_psb_reply);
  int failures = 0;
  for (int i = 0; i < 3000; ++i) {
    psb_power_data data;
    int ranges[7];
    if (zarn_rs232_psb_read_power(&data) != 0) ++failures;
    if (zarn_rs232_psb_read_usonic(ranges) != 0) ++failures;
  }
  EXPECT_EQ(failures, 0);
}

TEST_F(ZarnPsb, CommandsFromTwoThreadsNeverInterleave) {
  peer_.respond([](const Bytes& request) {
    auto reply = test::good_psb_reply(request);
    reply.delay = milliseconds(2);
    return reply;
  });
  auto worker = [] {
    for (int i = 0; i < 100; ++i) {
      psb_power_data data;
      EXPECT_EQ(zarn_rs232_psb_read_power(&data), 0);
    }
  };
  std::thread a(worker), b(worker);
  a.join();
  b.join();
  EXPECT_EQ(peer_.overlaps(), 0);
}

TEST(ZarnPsbConnection, CreateAndDestroy) {
  test::ScriptedPeer first, second;
  first.respond(test::good_psb_reply);
  second.respond(test::good_psb_reply);
  psb_power_data data;
  zarn_rs232_psb_destroy();  // nothing open: nothing happens
  EXPECT_EQ(zarn_rs232_psb_read_power(&data), -1);

  ASSERT_EQ(zarn_rs232_psb_create(first.path().c_str(), 100), 0);
  ASSERT_EQ(zarn_rs232_psb_create(second.path().c_str(), 100), 0);
  EXPECT_EQ(zarn_rs232_psb_read_power(&data), 0);
  EXPECT_TRUE(first.requests().empty());
  EXPECT_EQ(second.requests().size(), 1u);

  // The first port was released when the second create replaced it.
  SerialPort* reopened = serial_port_create(first.path().c_str(), 100);
  EXPECT_NE(reopened, nullptr);
  serial_port_destroy(reopened);

  // A failed create leaves no connection, also when one was open.
  EXPECT_EQ(zarn_rs232_psb_create("/dev/no-such-port", 100), -1);
  EXPECT_EQ(zarn_rs232_psb_read_power(&data), -1);
  EXPECT_EQ(zarn_rs232_psb_create(nullptr, 100), -1);
  EXPECT_EQ(zarn_rs232_psb_create(second.path().c_str(), 0), -1);
  zarn_rs232_psb_destroy();
  zarn_rs232_psb_destroy();
}

}  // namespace
}  // namespace tavik
