#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "serial/codec/frame_assembler.h"
#include "serial/codec/frame_codec.h"

namespace tavik {
namespace {

std::vector<std::uint8_t> b(const std::string& s) { return {s.begin(), s.end()}; }

TEST(FrameChecksum, XorOfBytes) {
  const std::uint8_t sar[] = {0x53, 0x61, 0x72, 0x03};
  EXPECT_EQ(frame_checksum(sar, 4), 0x43);
  EXPECT_EQ(frame_checksum(sar, 0), 0);
  EXPECT_EQ(frame_checksum(sar, -1), 0);
}

TEST(FormatDecimal, Vectors) {
  struct Case {
    std::int32_t value;
    std::string text;
    int length;
  };
  const Case cases[] = {
      {1200, "1200", 4},
      {-5, "-5", 2},
      {0, "", 0},
      {7, "7", 1},
      {1000000000, "1000000000", 10},
      {INT_MAX, "2147483647", 10},
      {INT_MIN, "-2147483648", 11},
      {-200, "-200", 4},
  };
  for (const auto& c : cases) {
    std::uint8_t out[16] = {};
    EXPECT_EQ(format_decimal(out, c.value), c.length) << c.value;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), c.length), c.text) << c.value;
  }
  std::uint8_t zero[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  format_decimal(zero, 0);
  EXPECT_EQ(zero[0], '0');  // written, but not counted
  EXPECT_EQ(zero[1], 0xFF);
}

TEST(FormatDecimal, FieldsLaidOutByReturnedLength) {
  auto layout = [](std::int32_t a, std::int32_t c) {
    std::uint8_t out[32] = {};
    int p = format_decimal(out, a);
    out[p++] = ';';
    p += format_decimal(out + p, c);
    return std::string(reinterpret_cast<char*>(out), p);
  };
  EXPECT_EQ(layout(100, -100), "100;-100");
  EXPECT_EQ(layout(0, 0), ";");
}

TEST(ParseDecimalFields, Vectors) {
  struct Case {
    std::vector<std::uint8_t> text;
    std::vector<std::int32_t> expected;
  };
  const Case cases[] = {
      {{0x02, '0', '1', '2', ';', ';', '7', 0x03}, {12, 0, 7, 0}},
      {{'-', '5', 0x03}, {5, 0, 0, 0}},
      {{'0', '0', '1', '2', 0x03}, {12, 0, 0, 0}},
      {b("1;2;3;4;5;6\x03;9"), {1, 2, 3, 4}},           // stops after ETX; extra fields ignored
      {b("4294967297\x03"), {1, 0, 0, 0}},              // wraps at 2^32
      {b("99999999999999\x03"), {276447231, 0, 0, 0}},  // longer runs keep wrapping
      {b("a b;c\x03"), {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    std::int32_t values[4] = {};
    parse_decimal_fields(c.text.data(), c.text.size(), values, 4);
    EXPECT_EQ(std::vector<std::int32_t>(values, values + 4), c.expected);
  }
}

TEST(ParseDecimalFields, AddsIntoCallerValuesAndHonoursBounds) {
  std::int32_t values[2] = {5, 5};
  const auto text = b("1;2;3;4\x03");
  parse_decimal_fields(text.data(), text.size(), values, 2);
  EXPECT_EQ(values[0], 6);
  EXPECT_EQ(values[1], 7);
  // Without ETX, parsing ends at the given length and the open field is dropped.
  std::int32_t open[2] = {};
  const auto unterminated = b("8;9");
  parse_decimal_fields(unterminated.data(), unterminated.size(), open, 2);
  EXPECT_EQ(open[0], 8);
  EXPECT_EQ(open[1], 0);
}

TEST(SplitBits, Vectors) {
  struct Case {
    std::int32_t value;
    std::vector<std::int32_t> bits;
  };
  const Case cases[] = {
      {6, {0, 1, 1, 9}}, {0, {9, 9, 9, 9}}, {-3, {9, 9, 9, 9}}, {15, {1, 1, 1, 1}}, {16, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    std::int32_t bits[4] = {9, 9, 9, 9};
    split_bits(c.value, bits, 4);
    EXPECT_EQ(std::vector<std::int32_t>(bits, bits + 4), c.bits) << c.value;
  }
  std::int32_t all[31] = {};
  split_bits(INT_MAX, all, 31);
  for (int bit : all) EXPECT_EQ(bit, 1);
}

struct AssemblerCase {
  const char* name;
  FrameShape shape;
  std::vector<std::uint8_t> input;
  FrameAssembler::Step last;
  std::size_t size;
};

TEST(FrameAssembler, Shapes) {
  std::vector<std::uint8_t> counted = {0x02, 40};
  counted.resize(2 + 40, 0x03);  // ETX inside the data does not end the frame
  counted.push_back(0x03);
  counted.push_back(0x00);
  const AssemblerCase cases[] = {
      {"shortest", FrameShape::kEtxTerminated, {0x02, 0x30, 0x03, 0x33}, FrameAssembler::Step::kComplete, 4},
      {"noise first",
       FrameShape::kEtxTerminated,
       {0x41, 0x42, 0x02, 0x30, 0x03, 0x33},
       FrameAssembler::Step::kComplete,
       4},
      {"empty body", FrameShape::kEtxTerminated, {0x02, 0x03, 0x03}, FrameAssembler::Step::kComplete, 3},
      {"bcc may be ETX",
       FrameShape::kEtxTerminated,
       {0x02, 0x30, 0x03, 0x03},
       FrameAssembler::Step::kComplete,
       4},
      {"stops after ETX", FrameShape::kEtxTerminated, {0x02, 0x30, 0x03}, FrameAssembler::Step::kMore, 3},
      {"counted", FrameShape::kCounted, counted, FrameAssembler::Step::kComplete, 44},
      {"counted zero", FrameShape::kCounted, {0x02, 0x00, 0x03, 0x03}, FrameAssembler::Step::kComplete, 4},
      {"counted too long", FrameShape::kCounted, {0x02, 253}, FrameAssembler::Step::kOverflow, 2},
      {"fixed",
       FrameShape::kFixed12,
       {0x02, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
       FrameAssembler::Step::kComplete,
       12},
  };
  for (const auto& c : cases) {
    std::uint8_t buf[kFrameSize] = {};
    FrameAssembler assembler(buf, sizeof buf, c.shape);
    auto step = FrameAssembler::Step::kMore;
    for (auto byte : c.input) step = assembler.feed(byte);
    EXPECT_EQ(step, c.last) << c.name;
    EXPECT_EQ(assembler.size(), c.size) << c.name;
  }
}

TEST(FrameAssembler, NeverStoresPastItsBuffer) {
  // A guard byte after the buffer must survive any input.
  std::uint8_t storage[kFrameSize + 1] = {};
  storage[kFrameSize] = 0xA5;
  FrameAssembler assembler(storage, kFrameSize, FrameShape::kEtxTerminated);
  auto step = assembler.feed(0x02);
  int fed = 1;
  while (step == FrameAssembler::Step::kMore) {
    step = assembler.feed('x');
    ++fed;
  }
  EXPECT_EQ(step, FrameAssembler::Step::kOverflow);
  EXPECT_EQ(fed, static_cast<int>(kFrameSize));
  EXPECT_EQ(assembler.feed('x'), FrameAssembler::Step::kOverflow);
  EXPECT_EQ(storage[kFrameSize], 0xA5);

  // ETX at position 254 still fits: the BCC takes the last byte.
  std::uint8_t fits[kFrameSize] = {};
  FrameAssembler edge(fits, sizeof fits, FrameShape::kEtxTerminated);
  edge.feed(0x02);
  for (int i = 1; i < 254; ++i) edge.feed('x');
  edge.feed(0x03);
  EXPECT_EQ(edge.feed(0x00), FrameAssembler::Step::kComplete);
  EXPECT_EQ(edge.size(), kFrameSize);
}

}  // namespace
}  // namespace tavik
