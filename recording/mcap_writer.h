// A recording in MCAP (the format mcap.dev describes), the file Foxglove, Lichtblick and
// PlotJuggler open: the magic, a header, then the data section of schema and
// channel records and chunks of messages, each chunk followed by one message
// index per channel in it; at the end a summary (schemas, channels, chunk
// indexes, statistics), its offsets and the footer. Chunks are not
// compressed. The file is only ever appended to, so a recording whose
// writer died is whole up to its last chunk; a chunk is closed once it
// holds its bytes or spans its span of log time (McapChunking), so that such a loss is
// at most that much. Every CRC the format has is written (zlib's crc32).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tavik::recording {

// When a chunk closes: once it holds `bytes`, or when a message comes `span`
// of log time after its first.
struct McapChunking {
  std::size_t bytes = 256 * 1024;
  std::chrono::nanoseconds span = std::chrono::seconds(1);
};

class McapWriter {
 public:
  // Takes each piece of the file in order; false when it could not be
  // written, which ends the writing (failed()).
  using Sink = std::function<bool(std::string_view bytes)>;

  // Writes the magic and the header naming `library` (the writer's program
  // and version).
  McapWriter(Sink sink, const std::string& library, McapChunking chunking = {});
  McapWriter(const McapWriter&) = delete;
  McapWriter& operator=(const McapWriter&) = delete;

  // A schema (its encoding, "jsonschema", and its text) and a channel on
  // it; both go out before any message of theirs. Returns their id.
  std::uint16_t add_schema(const std::string& name, const std::string& encoding, const std::string& data);
  std::uint16_t add_channel(const std::string& topic, std::uint16_t schema,
                            const std::string& message_encoding);

  // One message; times in nanoseconds since the Unix epoch.
  bool write(std::uint16_t channel, std::uint64_t log_time, std::uint64_t publish_time,
             std::string_view data);

  // Closes the last chunk and writes the data end, the summary and the
  // footer: without it the file ends at its last whole chunk.
  bool finish();

  bool failed() const { return failed_; }
  std::uint64_t bytes_written() const { return offset_; }

 private:
  struct Schema {
    std::uint16_t id;
    std::string record;
  };
  struct ChunkIndex {
    std::uint64_t start_time, end_time, offset, length, records_size, index_length;
    std::map<std::uint16_t, std::uint64_t> index_offsets;
  };

  bool put(std::string_view bytes);
  bool put_record(std::uint8_t opcode, std::string_view content);
  bool close_chunk();

  Sink sink_;
  McapChunking chunking_;
  bool failed_ = false;
  bool finished_ = false;
  std::uint64_t offset_ = 0;
  std::uint32_t data_crc_ = 0;  // of every byte so far, until the data end
  std::vector<std::string> schema_records_, channel_records_;
  std::vector<ChunkIndex> chunk_indexes_;
  // The open chunk: its records, each channel's (log time, offset) pairs and
  // its time span.
  std::string chunk_;
  std::map<std::uint16_t, std::vector<std::pair<std::uint64_t, std::uint64_t>>> chunk_index_;
  std::uint64_t chunk_start_ = 0, chunk_end_ = 0;
  // Statistics.
  std::map<std::uint16_t, std::uint32_t> sequences_;
  std::map<std::uint16_t, std::uint64_t> channel_counts_;
  std::uint64_t message_count_ = 0, first_time_ = 0, last_time_ = 0;
};

}  // namespace tavik::recording
