// The MCAP writer, read back by @mcap/core (read_mcap.mjs): its indexed
// reader checks the footer, the summary, the chunk and message indexes and
// the CRCs; its stream reader reads a file cut short.
#include "recording/mcap_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "mcap_reader.h"
#include "mcap_sample.h"

namespace tavik::test {
namespace {

using nlohmann::json;

std::string save(const std::string& bytes, const std::string& name) {
  const auto path = std::filesystem::path(::testing::TempDir()) / name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(McapWriter, IndexedReaderReadsEveryMessageInOrder) {
  struct Case {
    const char* name;
    int count;
    recording::McapChunking chunking;
    int chunks;
  };
  const Case cases[] = {
      {"one chunk", 10, {}, 1},
      {"a chunk a second of log time", 25, {.span = std::chrono::seconds(1)}, 3},
      {"a chunk per 200 bytes", 20, {.bytes = 200}, 0},
      {"no messages", 0, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Written w = write_sample(c.count, c.chunking);
    const McapRead r = read_mcap(save(w.bytes, "sample.mcap"));
    ASSERT_TRUE(r.ok) << r.error;
    const json& f = r.content;
    ASSERT_EQ(f["channels"].size(), 2u);
    EXPECT_EQ(f["channels"][0]["topic"], "/psb/battery");
    EXPECT_EQ(f["channels"][0]["message_encoding"], "json");
    EXPECT_EQ(f["schemas"][0]["encoding"], "jsonschema");
    EXPECT_EQ(f["schemas"][0]["data"], json({{"type", "object"}}));
    ASSERT_EQ(f["messages"].size(), static_cast<std::size_t>(c.count));
    for (int i = 0; i < c.count; ++i) {
      const json& m = f["messages"][static_cast<std::size_t>(i)];
      EXPECT_EQ(m["topic"], i % 2 == 0 ? "/psb/battery" : "/drvb/wheels");
      EXPECT_EQ(m["data"]["i"], i);
      EXPECT_EQ(m["log_time"], std::to_string(kStart + static_cast<std::uint64_t>(i) * 100 * kMs));
      EXPECT_EQ(m["sequence"], i / 2);
    }
    EXPECT_EQ(f["statistics"]["message_count"], c.count);
    const int chunks = f["statistics"]["chunk_count"].get<int>();
    EXPECT_TRUE(c.chunks > 0 ? chunks == c.chunks : chunks > 3 || c.count == 0) << chunks;
    EXPECT_EQ(f["chunk_indexes"], f["statistics"]["chunk_count"]);
    EXPECT_EQ(f["statistics"]["channel_message_counts"].value("1", 0), (c.count + 1) / 2);
  }
}

// A writer that dies leaves its chunks: the stream reader reads those whole,
// the indexed reader (no footer) refuses the file rather than read garbage.
TEST(McapWriter, CutFileReadsUpToItsLastWholeChunk) {
  // A chunk closes when a message a second after its first arrives: the
  // n-th chunk end follows 10 n messages.
  const Written w = write_sample(31, {.span = std::chrono::seconds(1)});
  ASSERT_EQ(w.chunk_ends.size(), 3u);
  const std::string cut = w.bytes.substr(0, (w.chunk_ends[1] + w.chunk_ends[2]) / 2);
  const std::string path = save(cut, "cut.mcap");
  const McapRead streamed = read_mcap(path, true);
  ASSERT_TRUE(streamed.ok) << streamed.error;
  EXPECT_EQ(streamed.content["messages"].size(), 20u);
  EXPECT_EQ(streamed.content["channels"].size(), 2u);
  EXPECT_FALSE(read_mcap(path).ok);
}

// One flipped byte in a message is caught by the chunk's CRC.
TEST(McapWriter, CorruptChunkIsRefused) {
  Written w = write_sample(4, {});
  const std::size_t at = w.bytes.find(R"({"i":2})");
  ASSERT_NE(at, std::string::npos);
  w.bytes[at + 5] = '7';
  const McapRead r = read_mcap(save(w.bytes, "corrupt.mcap"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("CRC"), std::string::npos) << r.error;
}

}  // namespace
}  // namespace tavik::test
