#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <thread>

#include "sim/models/frame_builder.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/drvb_peer_replies.h"
#include "tests/support/peers/pty_test_util.h"
#include "tests/support/peers/scripted_peer.h"

namespace tavik {
namespace {

using sim::Bytes;
using sim::frame;
using std::chrono::milliseconds;

class ZarnDrvb : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(zarn_rs232_drvb_create(peer_.path().c_str(), 100), 0); }
  void TearDown() override { zarn_rs232_drvb_destroy(); }

  test::ScriptedPeer peer_;
};

TEST_F(ZarnDrvb, RequestFramesByteForByte) {
  peer_.respond(test::good_drvb_reply);
  const Bytes cz = {0x02, 'C', 'Z', '1', '1', 0x03, 0x1A};
  const Bytes db_off = {0x02, 'D', 'B', '0', '0', 0x03, 0x05};
  int a, b, emg;
  char e1, e2;
  struct Case {
    const char* name;
    std::function<int()> call;
    std::vector<Bytes> frames;
  };
  const Case cases[] = {
      {"servo on", [] { return zarn_rs232_drvb_set_servo(1); }, {{0x02, 'D', 'B', '1', '1', 0x03, 0x05}, cz}},
      {"servo off", [] { return zarn_rs232_drvb_set_servo(0); }, {db_off, cz}},
      {"servo 2", [] { return zarn_rs232_drvb_set_servo(2); }, {db_off, cz}},
      {"servo -1", [] { return zarn_rs232_drvb_set_servo(-1); }, {db_off, cz}},
      {"front",
       [] { return zarn_rs232_drvb_set_velocity(200, 200); },
       {{0x02, 0x42, 0x45, 0x32, 0x30, 0x30, 0x3B, 0x32, 0x30, 0x30, 0x03, 0x3F}}},
      {"rear",
       [] { return zarn_rs232_drvb_set_velocity(-200, -200); },
       {{0x02, 0x42, 0x45, 0x2D, 0x32, 0x30, 0x30, 0x3B, 0x2D, 0x32, 0x30, 0x30, 0x03, 0x3F}}},
      {"left",
       [] { return zarn_rs232_drvb_set_velocity(-200, 200); },
       {{0x02, 0x42, 0x45, 0x2D, 0x32, 0x30, 0x30, 0x3B, 0x32, 0x30, 0x30, 0x03, 0x12}}},
      {"right",
       [] { return zarn_rs232_drvb_set_velocity(200, -200); },
       {{0x02, 0x42, 0x45, 0x32, 0x30, 0x30, 0x3B, 0x2D, 0x32, 0x30, 0x30, 0x03, 0x12}}},
      {"stop", [] { return zarn_rs232_drvb_set_velocity(0, 0); }, {{0x02, 0x42, 0x45, 0x3B, 0x03, 0x3F}}},
      {"one",
       [] { return zarn_rs232_drvb_set_velocity(1, -1); },
       {{0x02, 0x42, 0x45, 0x31, 0x3B, 0x2D, 0x31, 0x03, 0x12}}},
      {"extremes",
       [] { return zarn_rs232_drvb_set_velocity(INT_MIN, INT_MAX); },
       {frame("BE-2147483648;2147483647")}},
      {"encoder", [&] { return zarn_rs232_drvb_read_encoder(&a, &b); }, {{0x02, 'A', 'C', '0', 0x03, 0x31}}},
      {"bumper",
       [&] { return zarn_rs232_drvb_read_bumper_emg(&a, &b, &emg); },
       {{0x02, 'A', 'A', 0x03, 0x03}}},
      {"drive err", [&] { return zarn_rs232_drvb_read_drive_err(&e1, &e2); }, {{0x02, 'A', 'A', 0x03, 0x03}}},
      {"reset", [] { return zarn_rs232_drvb_set_drive_err_reset(); }, {{0x02, 'C', 'G', 0x03, 0x07}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.call(), 0) << c.name;
    EXPECT_EQ(peer_.take_requests(), c.frames) << c.name;
  }
}

TEST_F(ZarnDrvb, EncoderCountsConvertLikeAtoi) {
  struct Case {
    std::string left, right;
    int l, r;
  };
  const Case cases[] = {
      {"0000001234", "-000000056", 1234, -56},
      {"          ", "+000000012", 0, 12},
      {"  -7abc   ", "12 34     ", -7, 12},
      {"9999999999", "4294967295", 1410065407, -1},  // past the int range: wraps
      {"-214748364", "2147483647", -214748364, INT_MAX},
      {"\t\n\v\f\r 42  ", "x123456789", 42, 0},
  };
  for (const auto& c : cases) {
    peer_.queue({frame("0" + c.left + c.right), {}});
    int left = 99, right = 99;
    ASSERT_EQ(zarn_rs232_drvb_read_encoder(&left, &right), 0) << c.left << "|" << c.right;
    EXPECT_EQ(left, c.l) << c.left;
    EXPECT_EQ(right, c.r) << c.right;
  }
}

TEST_F(ZarnDrvb, BumperEmergencyAndDriveErrorBytes) {
  struct Case {
    std::uint8_t b7, b8;
    int left, right, emg;
  };
  const Case cases[] = {
      {'3', '1', 1, 1, 1}, {'2', '0', 0, 1, 0},   {'1', '0', 1, 0, 0},
      {'0', '0', 0, 0, 0}, {0xFF, 0xFE, 1, 1, 0},
  };
  for (const auto& c : cases) {
    peer_.queue({test::aa_reply(0, 0, c.b7, c.b8), {}});
    int left = 9, right = 9, emg = 9;
    ASSERT_EQ(zarn_rs232_drvb_read_bumper_emg(&left, &right, &emg), 0);
    EXPECT_EQ((std::vector<int>{left, right, emg}), (std::vector<int>{c.left, c.right, c.emg})) << int(c.b7);
  }
  peer_.queue({test::aa_reply(0x00, 0x81, '0', '0'), {}});
  char l = 'x', r = 'x';
  ASSERT_EQ(zarn_rs232_drvb_read_drive_err(&l, &r), 0);
  EXPECT_EQ(static_cast<unsigned char>(l), 0x00);
  EXPECT_EQ(static_cast<unsigned char>(r), 0x81);
}

TEST_F(ZarnDrvb, FailuresLeaveOutputsUntouched) {
  Bytes bad_bcc = frame("00000001234-000000056");
  bad_bcc.back() ^= 1;
  Bytes aa_bad_bcc = test::aa_reply(1, 2, '3', '1');
  aa_bad_bcc.back() ^= 1;
  Bytes aa_no_etx = test::aa_reply(1, 2, '3', '1');
  aa_no_etx[10] = '0';
  Bytes noisy{0x41, 0x03, 0x33};
  auto noisy_tail = frame("1");
  noisy.insert(noisy.end(), noisy_tail.begin(), noisy_tail.end());
  struct Case {
    const char* name;
    Bytes reply;
  };
  const Case status_failures[] = {
      {"silent", {}},
      {"status 1", frame("10000001234-000000056")},
      {"bad bcc", bad_bcc},
      {"noise then status 1", noisy},
      {"too short for both counts", frame("00000001234")},
  };
  for (const auto& c : status_failures) {
    peer_.queue({c.reply, {}});
    int left = 7, right = 8;
    EXPECT_EQ(zarn_rs232_drvb_read_encoder(&left, &right), -1) << c.name;
    EXPECT_EQ(left, 7) << c.name;
    EXPECT_EQ(right, 8) << c.name;
  }
  const Case fixed_failures[] = {{"silent", {}},
                                 {"bad bcc", aa_bad_bcc},
                                 {"no ETX at 10", aa_no_etx},
                                 {"short", {0x02, '0', '0', 0x03}}};
  for (const auto& c : fixed_failures) {
    peer_.queue({c.reply, {}});
    peer_.queue({c.reply, {}});
    int a = 7, b = 7, e = 7;
    char l = 'L', r = 'R';
    EXPECT_EQ(zarn_rs232_drvb_read_bumper_emg(&a, &b, &e), -1) << c.name;
    EXPECT_EQ(zarn_rs232_drvb_read_drive_err(&l, &r), -1) << c.name;
    EXPECT_EQ((std::vector<int>{a, b, e, l, r}), (std::vector<int>{7, 7, 7, 'L', 'R'})) << c.name;
  }
  // Noise ahead of a good frame is skipped by both readers.
  Bytes noisy_aa{0x03, 0x55};
  auto aa = test::aa_reply(0, 0, '1', '1');
  noisy_aa.insert(noisy_aa.end(), aa.begin(), aa.end());
  peer_.queue({noisy_aa, {}});
  int a = 0, b = 0, e = 0;
  EXPECT_EQ(zarn_rs232_drvb_read_bumper_emg(&a, &b, &e), 0);
  EXPECT_EQ(a + b + e, 2);
}

TEST_F(ZarnDrvb, ServoAlwaysSendsCzAndReportsDb) {
  peer_.queue({frame("1"), {}});  // DB refused
  peer_.queue({frame("0"), {}});
  EXPECT_EQ(zarn_rs232_drvb_set_servo(1), -1);
  auto requests = peer_.take_requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1], frame("CZ11"));

  peer_.queue({frame("0"), {}});  // DB accepted, CZ never answered
  EXPECT_EQ(zarn_rs232_drvb_set_servo(1), 0);
  EXPECT_EQ(peer_.take_requests().size(), 2u);

  peer_.queue({{}, {}});  // DB silent
  peer_.queue({frame("0"), {}});
  EXPECT_EQ(zarn_rs232_drvb_set_servo(0), -1);
  // CZ's answer could have been DB's, late: CZ goes once more after DB's window.
  requests = peer_.take_requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1], frame("CZ11"));
  EXPECT_EQ(requests[2], frame("CZ11"));
}

TEST_F(ZarnDrvb, SilentResetCostsAboutOneTimeOut) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(zarn_rs232_drvb_set_drive_err_reset(), -1);
  EXPECT_GE(test::elapsed_ms(start), 95.0);
  EXPECT_LT(test::elapsed_ms(start), 1000.0);
}

TEST_F(ZarnDrvb, TwoThreadsTakeTurns) {
  peer_.respond([](const Bytes& request) {
    auto reply = test::good_drvb_reply(request);
    reply.delay = milliseconds(2);
    return reply;
  });
  std::thread jog([] {
    for (int i = 0; i < 60; ++i) EXPECT_EQ(zarn_rs232_drvb_set_velocity(200, 200), 0);
  });
  std::thread poll([] {
    for (int i = 0; i < 60; ++i) {
      int l, r;
      EXPECT_EQ(zarn_rs232_drvb_read_encoder(&l, &r), 0);
    }
  });
  for (int i = 0; i < 20; ++i) EXPECT_EQ(zarn_rs232_drvb_set_servo(1), 0);
  jog.join();
  poll.join();
  EXPECT_EQ(peer_.overlaps(), 0);
}

TEST(ZarnDrvbConnection, CommandsWithoutConnection) {
  test::ScriptedPeer peer;
  peer.respond(test::good_drvb_reply);
  int a = 5, b = 5, c = 5;
  char l = 'l', r = 'r';
  auto all_fail = [&] {
    EXPECT_EQ(zarn_rs232_drvb_set_servo(1), -1);
    EXPECT_EQ(zarn_rs232_drvb_set_velocity(1, 1), -1);
    EXPECT_EQ(zarn_rs232_drvb_read_encoder(&a, &b), -1);
    EXPECT_EQ(zarn_rs232_drvb_read_bumper_emg(&a, &b, &c), -1);
    EXPECT_EQ(zarn_rs232_drvb_read_drive_err(&l, &r), -1);
    EXPECT_EQ(zarn_rs232_drvb_set_drive_err_reset(), -1);
    EXPECT_EQ(zarn_rs232_drvb_read_parameter(0, &a), -1);
    EXPECT_EQ(zarn_rs232_drvb_set_parameter(0, 5), -1);
    EXPECT_EQ((std::vector<int>{a, b, c, l, r}), (std::vector<int>{5, 5, 5, 'l', 'r'}));
  };
  all_fail();  // before create
  EXPECT_EQ(zarn_rs232_drvb_create("/dev/no-such-port", 100), -1);
  all_fail();
  ASSERT_EQ(zarn_rs232_drvb_create(peer.path().c_str(), 100), 0);
  ASSERT_EQ(zarn_rs232_drvb_create(peer.path().c_str(), 100), 0);  // same name again: reopens
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(1, 1), 0);
  // The PSB half has its own connection: the drive board's port is taken.
  EXPECT_EQ(zarn_rs232_psb_create(peer.path().c_str(), 100), -1);
  zarn_rs232_drvb_destroy();
  zarn_rs232_drvb_destroy();
  peer.clear_requests();
  all_fail();
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_TRUE(peer.requests().empty());
}

}  // namespace
}  // namespace tavik
