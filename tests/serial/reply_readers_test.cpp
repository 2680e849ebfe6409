#include "serial/exchange/reply_readers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "serial/codec/frame_codec.h"
#include "serial/transport/serial_port.h"
#include "sim/line/pty_endpoint.h"
#include "sim/models/frame_builder.h"
#include "tests/support/peers/pty_test_util.h"

namespace tavik {
namespace {

using sim::Bytes;
using test::master_write;

enum class Reader { kStatus, kText, kCounted, kFixed };

Result run_reader(Reader reader, SerialPort* port, std::uint8_t* buf) {
  int count = -1;
  switch (reader) {
    case Reader::kStatus:
      return read_reply(port, buf);
    case Reader::kText:
      return read_text_reply(port, buf);
    case Reader::kCounted:
      return read_counted_reply(port, buf, &count);
    case Reader::kFixed:
      return read_fixed_reply(port, buf);
  }
  return Failure::kBadArgument;
}

Bytes counted_with(std::uint8_t n, std::size_t data_bytes, std::uint8_t fill) {
  Bytes body{n};
  body.insert(body.end(), data_bytes, fill);
  return sim::frame(body);
}

Bytes fixed_reply(std::uint8_t b7, std::uint8_t b8) {
  return sim::frame(Bytes{'0', '0', 0x00, '0', 0x81, '0', b7, b8, '0'});
}

struct Case {
  const char* name;
  Reader reader;
  Bytes input;
  Result expected;
};

class ReplyReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = serial_port_create(pty_.slave_path().c_str(), 60);
    ASSERT_NE(port_, nullptr);
  }
  void TearDown() override { serial_port_destroy(port_); }

  sim::PtyEndpoint pty_;
  SerialPort* port_ = nullptr;
};

TEST_F(ReplyReaders, Vectors) {
  Bytes too_long{0x02, '0'};
  too_long.insert(too_long.end(), 300, 'x');
  Bytes forty(40, 0x03);  // data bytes equal to ETX do not end a counted frame
  Bytes fixed_bad_etx = fixed_reply('0', '0');
  fixed_bad_etx[10] = 'x';
  const Case cases[] = {
      {"status shortest", Reader::kStatus, {0x02, 0x30, 0x03, 0x33}, Result::ok()},
      {"status after noise", Reader::kStatus, {0x41, 0x42, 0x02, 0x30, 0x03, 0x33}, Result::ok()},
      {"status byte 1", Reader::kStatus, {0x02, 0x31, 0x03, 0x32}, Result::refused('1')},
      {"status bad bcc", Reader::kStatus, {0x02, 0x30, 0x03, 0x34}, Failure::kBadCheck},
      {"status empty body", Reader::kStatus, {0x02, 0x03, 0x03}, Failure::kMalformed},
      {"status stops after ETX", Reader::kStatus, {0x02, 0x30, 0x03}, Failure::kMalformed},
      {"status silent", Reader::kStatus, {}, Failure::kNoReply},
      {"status too long", Reader::kStatus, too_long, Failure::kMalformed},
      {"text any body", Reader::kText, sim::frame("12;0;0;5"), Result::ok()},
      {"text empty body", Reader::kText, {0x02, 0x03, 0x03}, Result::ok()},
      {"text no status byte check", Reader::kText, sim::frame("1"), Result::ok()},
      {"text bad bcc", Reader::kText, {0x02, 'A', 0x03, 0x00}, Failure::kBadCheck},
      {"text too long", Reader::kText, too_long, Failure::kMalformed},
      {"counted forty", Reader::kCounted, sim::counted_frame(forty), Result::ok()},
      {"counted after noise", Reader::kCounted,
       [] {
         Bytes b{0x55, 0x03};
         auto f = sim::counted_frame(Bytes(40, 7));
         b.insert(b.end(), f.begin(), f.end());
         return b;
       }(),
       Result::ok()},
      {"counted other N", Reader::kCounted, sim::counted_frame(Bytes(20, 1)), Result::ok()},
      {"counted ETX misplaced", Reader::kCounted, counted_with(40, 41, 1), Failure::kMalformed},
      {"counted short", Reader::kCounted, counted_with(40, 20, 1), Failure::kMalformed},
      {"counted N too big", Reader::kCounted, {0x02, 0xFD, 0x00, 0x00}, Failure::kMalformed},
      {"fixed good", Reader::kFixed, fixed_reply('3', '1'), Result::ok()},
      {"fixed after noise", Reader::kFixed,
       [] {
         Bytes b{0x03, 0x03};
         auto f = fixed_reply('1', '0');
         b.insert(b.end(), f.begin(), f.end());
         return b;
       }(),
       Result::ok()},
      {"fixed no ETX at 10", Reader::kFixed, fixed_bad_etx, Failure::kMalformed},
      {"fixed bad bcc", Reader::kFixed,
       [] {
         auto f = fixed_reply('0', '0');
         f[11] ^= 1;
         return f;
       }(),
       Failure::kBadCheck},
      {"fixed short", Reader::kFixed, {0x02, 1, 2, 3}, Failure::kMalformed},
  };
  for (const auto& c : cases) {
    serial_port_purge(port_);
    if (!c.input.empty()) master_write(pty_, c.input);
    std::uint8_t buf[kFrameSize + 8] = {};
    for (std::size_t i = kFrameSize; i < sizeof buf; ++i) buf[i] = 0xA5;
    const Result got = run_reader(c.reader, port_, buf);
    EXPECT_EQ(failure_name(got.failure), std::string(failure_name(c.expected.failure))) << c.name;
    EXPECT_EQ(got.status, c.expected.status) << c.name;
    for (std::size_t i = kFrameSize; i < sizeof buf; ++i) ASSERT_EQ(buf[i], 0xA5) << c.name;
  }
}

TEST_F(ReplyReaders, SilenceCostsOneTimeOutAndPurges) {
  // A frame cut after ETX: one time-out, then the port is purged.
  master_write(pty_, {0x02, 0x30, 0x03});
  std::uint8_t buf[kFrameSize] = {};
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(read_reply(port_, buf).failure, Failure::kMalformed);
  EXPECT_GE(test::elapsed_ms(start), 55.0);
  EXPECT_LT(test::elapsed_ms(start), 500.0);
}

TEST_F(ReplyReaders, CountedReportsItsCount) {
  master_write(pty_, sim::counted_frame(Bytes(40, 9)));
  std::uint8_t buf[kFrameSize] = {};
  int count = 0;
  ASSERT_TRUE(read_counted_reply(port_, buf, &count).is_ok());
  EXPECT_EQ(count, 40);
  EXPECT_EQ(buf[42], kEtx);
}

}  // namespace
}  // namespace tavik
