// The MCAP writer on its own, without a reader: where its chunks close and
// how it stops at a failed write (mcap_writer_test reads its files back).
#include <gtest/gtest.h>

#include <string>

#include "mcap_sample.h"
#include "recording/mcap_writer.h"

namespace tavik::test {
namespace {

using recording::McapWriter;

// A file opens and ends with the magic, and a chunk closes when a message
// a span after its first arrives, or when it holds the bytes asked for.
TEST(McapWriter, ClosesAChunkAtItsSpanOrSize) {
  const std::string magic("\x89MCAP0\r\n", 8);
  struct Case {
    const char* name;
    int count;
    recording::McapChunking chunking;
    std::size_t closed;  // chunks closed before finish
  };
  const Case cases[] = {
      {"one chunk", 10, {}, 0},
      {"a chunk a second of log time", 25, {.span = std::chrono::seconds(1)}, 2},
      {"a second, up to the 31st message", 31, {.span = std::chrono::seconds(1)}, 3},
      {"no messages", 0, {.span = std::chrono::seconds(1)}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Written w = write_sample(c.count, c.chunking);
    EXPECT_EQ(w.chunk_ends.size(), c.closed);
    ASSERT_GE(w.bytes.size(), 2 * magic.size());
    EXPECT_EQ(w.bytes.substr(0, magic.size()), magic);
    EXPECT_EQ(w.bytes.substr(w.bytes.size() - magic.size()), magic);
  }
  EXPECT_GE(write_sample(20, {.bytes = 200}).chunk_ends.size(), 3u);
}

TEST(McapWriter, StopsAtTheFirstWriteThatFails) {
  int writes = 0;
  McapWriter writer([&](std::string_view) { return ++writes < 3; }, "tavik test", {.bytes = 1});
  const auto schema = writer.add_schema("s", "jsonschema", "{}");
  const auto channel = writer.add_channel("/t", schema, "json");
  EXPECT_TRUE(writer.failed());
  EXPECT_FALSE(writer.write(channel, kStart, kStart, "{}"));
  EXPECT_FALSE(writer.finish());
  EXPECT_EQ(writes, 3);
}

}  // namespace
}  // namespace tavik::test
