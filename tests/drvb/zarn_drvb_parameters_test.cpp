#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>

#include "sim/models/frame_builder.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/drvb_peer_replies.h"
#include "tests/support/peers/scripted_peer.h"

namespace tavik {
namespace {

using sim::Bytes;
using sim::frame;

const Bytes kXd = {0x02, 0x58, 0x44, 0x03, 0x1F};

class ZarnDrvbParameters : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(zarn_rs232_drvb_create(peer_.path().c_str(), 80), 0); }
  void TearDown() override { zarn_rs232_drvb_destroy(); }

  test::ScriptedPeer peer_;
};

TEST_F(ZarnDrvbParameters, ReadRequestsAndValues) {
  struct Case {
    int id;
    Bytes request;
    std::string reply;
    int value;
  };
  const Case cases[] = {
      {0, {0x02, 0x58, 0x4C, 0x31, 0x35, 0x03, 0x13}, "0120", 120},
      {1, {0x02, 0x58, 0x4C, 0x33, 0x30, 0x03, 0x14}, "025;9", 25},
      {2, {0x02, 0x58, 0x4C, 0x36, 0x03, 0x21}, "0-5", 5},  // never negative
  };
  for (const auto& c : cases) {
    peer_.queue({frame(c.reply), {}});
    int value = -1;
    ASSERT_EQ(zarn_rs232_drvb_read_parameter(c.id, &value), 0) << c.reply;
    EXPECT_EQ(value, c.value) << c.reply;
    EXPECT_EQ(peer_.take_requests(), std::vector<Bytes>{c.request}) << c.reply;
  }
}

// The value is never negative, and one that does not fit an int is no value
// the board holds: refused as malformed, not wrapped.
TEST_F(ZarnDrvbParameters, ValuesThatDoNotFitAreRefused) {
  struct Case {
    std::string reply;
    int value;  // -1: refused
  };
  const Case cases[] = {
      {"02147483647", INT_MAX}, {"000000000000000000123", 123},  // twenty digits after the status byte
      {"02147483648", -1},      {"012345678901234567890", -1},  {"099999999999999999999;5", -1},
  };
  for (const Case& c : cases) {
    peer_.queue({frame(c.reply), {}});
    int value = 77;
    const int result = zarn_rs232_drvb_read_parameter(0, &value);
    if (c.value >= 0) {
      EXPECT_EQ(result, 0) << c.reply;
      EXPECT_EQ(value, c.value) << c.reply;
    } else {
      EXPECT_EQ(result, -1) << c.reply;
      EXPECT_EQ(zarn_rs232_last_error(), TAVIK_RS232_MALFORMED) << c.reply;
      EXPECT_EQ(value, 77) << c.reply;
    }
  }
}

TEST_F(ZarnDrvbParameters, ReadFailuresAndUnknownIds) {
  Bytes bad = frame("0120");
  bad.back() ^= 1;
  // Wrong BCC, refused, silence; then replies of other commands arriving late:
  // a bare status reply, the encoders' counts, and text that is no value.
  for (const Bytes& reply : {bad, frame("1120"), Bytes{}, frame("0"), frame("0000001234-000000056"),
                             frame("00000012340000000056"), frame("0 1 9 mm")}) {
    peer_.queue({reply, {}});
    int value = 77;
    EXPECT_EQ(zarn_rs232_drvb_read_parameter(1, &value), -1);
    EXPECT_EQ(value, 77);
  }
  peer_.take_requests();
  int value = 77;
  EXPECT_EQ(zarn_rs232_drvb_read_parameter(3, &value), -1);
  EXPECT_EQ(zarn_rs232_drvb_read_parameter(-1, &value), -1);
  EXPECT_EQ(value, 77);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(peer_.requests().empty());
}

TEST_F(ZarnDrvbParameters, WriteSequencesAndBounds) {
  peer_.respond(test::good_drvb_reply);
  struct Case {
    int id;
    int value;
    int result;
    std::vector<Bytes> frames;
  };
  const Case cases[] = {
      {0,
       500,
       0,
       {{0x02, 0x58, 0x42, 0x31, 0x35, 0x35, 0x30, 0x30, 0x03, 0x28},
        {0x02, 0x58, 0x42, 0x31, 0x36, 0x35, 0x30, 0x30, 0x03, 0x2B},
        kXd}},
      {1, 100, 0, {{0x02, 0x58, 0x42, 0x33, 0x30, 0x31, 0x30, 0x30, 0x03, 0x2B}, kXd}},
      {2, 8, 0, {{0x02, 0x58, 0x42, 0x30, 0x36, 0x38, 0x03, 0x27}, kXd}},
      {0,
       0,
       0,
       {{0x02, 0x58, 0x42, 0x31, 0x35, 0x03, 0x1D}, {0x02, 0x58, 0x42, 0x31, 0x36, 0x03, 0x1E}, kXd}},
      {0, -1, -1, {}},  // a negative maximum would stop the robot for good
      {0, 2000, 0, {frame("XB152000"), frame("XB162000"), kXd}},
      {0, INT_MIN, -1, {}},
      {0, 2001, -1, {}},
      {1, 34, -1, {}},
      {1, 35, 0, {frame("XB3035"), kXd}},
      {1, 20000, 0, {frame("XB3020000"), kXd}},
      {1, 20001, -1, {}},
      {2, 7, -1, {}},
      {2, 1000, 0, {frame("XB061000"), kXd}},
      {2, 1001, -1, {}},
      {7, 12345, 0, {kXd}},
      {5, -1, 0, {kXd}},
      {-1, 0, 0, {kXd}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(zarn_rs232_drvb_set_parameter(c.id, c.value), c.result) << c.id << "," << c.value;
    if (c.frames.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(peer_.take_requests(), c.frames) << c.id << "," << c.value;
  }
}

TEST_F(ZarnDrvbParameters, RefusedWriteStopsTheSeries) {
  peer_.queue({frame("1"), {}});  // register 15 refused
  EXPECT_EQ(zarn_rs232_drvb_set_parameter(0, 500), -1);
  EXPECT_EQ(peer_.take_requests(), std::vector<Bytes>{frame("XB15500")});

  peer_.queue({frame("0"), {}});
  peer_.queue({{}, {}});  // register 16 not answered
  EXPECT_EQ(zarn_rs232_drvb_set_parameter(0, 500), -1);
  EXPECT_EQ(peer_.take_requests().size(), 2u);
}

TEST_F(ZarnDrvbParameters, ClosingRequestResults) {
  Bytes four_bad_bcc = frame("4");
  four_bad_bcc.back() ^= 0x55;
  Bytes zero_bad_bcc = frame("0");
  zero_bad_bcc.back() ^= 1;
  struct Case {
    const char* name;
    Bytes reply;
    int result;
  };
  const Case cases[] = {
      {"status 0", frame("0"), 0},
      {"status 4", frame("4"), 0},
      {"status 4, wrong BCC", four_bad_bcc, 0},
      {"status 4 then silence", {0x02, '4'}, 0},
      {"status 0, wrong BCC", zero_bad_bcc, -1},
      {"status 5", frame("5"), -1},
      {"silent", {}, -1},
  };
  for (const auto& c : cases) {
    peer_.queue({c.reply, {}});
    EXPECT_EQ(zarn_rs232_drvb_set_parameter(9, 1), c.result) << c.name;
  }
}

}  // namespace
}  // namespace tavik
