#include "recording/mcap_writer.h"

#include <zlib.h>

#include <algorithm>

namespace tavik::recording {
namespace {

constexpr std::string_view kMagic{"\x89MCAP0\r\n", 8};

enum Opcode : std::uint8_t {
  kHeader = 0x01,
  kFooter = 0x02,
  kSchema = 0x03,
  kChannel = 0x04,
  kMessage = 0x05,
  kChunk = 0x06,
  kMessageIndex = 0x07,
  kChunkIndex = 0x08,
  kStatistics = 0x0B,
  kSummaryOffset = 0x0E,
  kDataEnd = 0x0F,
};

// A record's opcode and its 64-bit length come before its content.
constexpr std::size_t kRecordPrefix = 9;

template <typename T>
void put_le(std::string& out, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void put_string(std::string& out, std::string_view text) {
  put_le(out, static_cast<std::uint32_t>(text.size()));
  out.append(text);
}

std::uint32_t crc(std::uint32_t running, std::string_view bytes) {
  // zlib takes at most a uInt at a time.
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), 1u << 30);
    running = static_cast<std::uint32_t>(
        crc32(running, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n)));
    bytes.remove_prefix(n);
  }
  return running;
}

std::string record(std::uint8_t opcode, std::string_view content) {
  std::string out;
  out.reserve(kRecordPrefix + content.size());
  out.push_back(static_cast<char>(opcode));
  put_le(out, static_cast<std::uint64_t>(content.size()));
  out.append(content);
  return out;
}

}  // namespace

McapWriter::McapWriter(Sink sink, const std::string& library, McapChunking chunking)
    : sink_(std::move(sink)), chunking_(chunking) {
  put(kMagic);
  std::string header;
  put_string(header, "");  // no profile: plain JSON messages
  put_string(header, library);
  put_record(kHeader, header);
}

bool McapWriter::put(std::string_view bytes) {
  if (failed_) return false;
  if (!sink_(bytes)) {
    failed_ = true;
    return false;
  }
  data_crc_ = crc(data_crc_, bytes);
  offset_ += bytes.size();
  return true;
}

bool McapWriter::put_record(std::uint8_t opcode, std::string_view content) {
  return put(record(opcode, content));
}

std::uint16_t McapWriter::add_schema(const std::string& name, const std::string& encoding,
                                     const std::string& data) {
  const auto id = static_cast<std::uint16_t>(schema_records_.size() + 1);  // 0: no schema
  std::string content;
  put_le(content, id);
  put_string(content, name);
  put_string(content, encoding);
  put_string(content, data);
  // A reader of a cut file meets it before the messages that use it.
  close_chunk();
  put_record(kSchema, content);
  schema_records_.push_back(record(kSchema, content));
  return id;
}

std::uint16_t McapWriter::add_channel(const std::string& topic, std::uint16_t schema,
                                      const std::string& message_encoding) {
  const auto id = static_cast<std::uint16_t>(channel_records_.size() + 1);
  std::string content;
  put_le(content, id);
  put_le(content, schema);
  put_string(content, topic);
  put_string(content, message_encoding);
  put_le(content, std::uint32_t{0});  // no metadata
  close_chunk();
  put_record(kChannel, content);
  channel_records_.push_back(record(kChannel, content));
  channel_counts_[id] = 0;
  return id;
}

bool McapWriter::write(std::uint16_t channel, std::uint64_t log_time, std::uint64_t publish_time,
                       std::string_view data) {
  if (failed_ || finished_) return false;
  if (!chunk_.empty() && (chunk_.size() >= chunking_.bytes ||
                          log_time >= chunk_start_ + static_cast<std::uint64_t>(chunking_.span.count()))) {
    if (!close_chunk()) return false;
  }
  std::string content;
  put_le(content, channel);
  put_le(content, sequences_[channel]++);
  put_le(content, log_time);
  put_le(content, publish_time);
  content.append(data);
  if (chunk_.empty()) chunk_start_ = chunk_end_ = log_time;
  chunk_start_ = std::min(chunk_start_, log_time);
  chunk_end_ = std::max(chunk_end_, log_time);
  chunk_index_[channel].emplace_back(log_time, chunk_.size());
  chunk_ += record(kMessage, content);
  if (message_count_ == 0) first_time_ = last_time_ = log_time;
  first_time_ = std::min(first_time_, log_time);
  last_time_ = std::max(last_time_, log_time);
  ++message_count_;
  ++channel_counts_[channel];
  return true;
}

bool McapWriter::close_chunk() {
  if (chunk_.empty()) return !failed_;
  ChunkIndex index{chunk_start_, chunk_end_, offset_, 0, chunk_.size(), 0, {}};
  std::string content;
  put_le(content, chunk_start_);
  put_le(content, chunk_end_);
  put_le(content, static_cast<std::uint64_t>(chunk_.size()));  // uncompressed size
  put_le(content, crc(0, chunk_));
  put_string(content, "");  // not compressed
  put_le(content, static_cast<std::uint64_t>(chunk_.size()));
  content += chunk_;
  put_record(kChunk, content);
  index.length = kRecordPrefix + content.size();
  for (const auto& [channel, entries] : chunk_index_) {
    std::string message_index;
    put_le(message_index, channel);
    put_le(message_index, static_cast<std::uint32_t>(entries.size() * 16));
    for (const auto& [time, at] : entries) {
      put_le(message_index, time);
      put_le(message_index, at);
    }
    index.index_offsets[channel] = offset_;
    put_record(kMessageIndex, message_index);
    index.index_length += kRecordPrefix + message_index.size();
  }
  chunk_indexes_.push_back(std::move(index));
  chunk_.clear();
  chunk_index_.clear();
  return !failed_;
}

bool McapWriter::finish() {
  if (finished_) return !failed_;
  finished_ = true;
  close_chunk();
  std::string data_end;
  put_le(data_end, data_crc_);
  put_record(kDataEnd, data_end);

  // The summary, in groups of one opcode each, and where each group starts.
  const std::uint64_t summary_start = offset_;
  std::string summary;
  std::string offsets;
  const auto group = [&](std::uint8_t opcode, const std::vector<std::string>& records) {
    if (records.empty()) return;
    const std::uint64_t start = summary_start + summary.size();
    for (const std::string& r : records) summary += r;
    std::string entry;
    entry.push_back(static_cast<char>(opcode));
    put_le(entry, start);
    put_le(entry, summary_start + summary.size() - start);
    offsets += record(kSummaryOffset, entry);
  };
  group(kSchema, schema_records_);
  group(kChannel, channel_records_);
  std::vector<std::string> chunk_records;
  for (const ChunkIndex& c : chunk_indexes_) {
    std::string content;
    put_le(content, c.start_time);
    put_le(content, c.end_time);
    put_le(content, c.offset);
    put_le(content, c.length);
    put_le(content, static_cast<std::uint32_t>(c.index_offsets.size() * 10));
    for (const auto& [channel, at] : c.index_offsets) {
      put_le(content, channel);
      put_le(content, at);
    }
    put_le(content, c.index_length);
    put_string(content, "");
    put_le(content, c.records_size);  // compressed size: the same, uncompressed
    put_le(content, c.records_size);
    chunk_records.push_back(record(kChunkIndex, content));
  }
  group(kChunkIndex, chunk_records);
  std::string statistics;
  put_le(statistics, message_count_);
  put_le(statistics, static_cast<std::uint16_t>(schema_records_.size()));
  put_le(statistics, static_cast<std::uint32_t>(channel_records_.size()));
  put_le(statistics, std::uint32_t{0});  // attachments
  put_le(statistics, std::uint32_t{0});  // metadata
  put_le(statistics, static_cast<std::uint32_t>(chunk_indexes_.size()));
  put_le(statistics, first_time_);
  put_le(statistics, last_time_);
  put_le(statistics, static_cast<std::uint32_t>(channel_counts_.size() * 10));
  for (const auto& [channel, count] : channel_counts_) {
    put_le(statistics, channel);
    put_le(statistics, count);
  }
  group(kStatistics, {record(kStatistics, statistics)});

  const std::uint64_t offsets_start = summary_start + summary.size();
  // The footer's CRC covers the summary, its offsets and the footer up to
  // the CRC itself.
  std::string footer;
  footer.push_back(static_cast<char>(kFooter));
  put_le(footer, std::uint64_t{20});
  put_le(footer, summary_start);
  put_le(footer, offsets_start);
  put_le(footer, crc(crc(crc(0, summary), offsets), footer));
  put(summary);
  put(offsets);
  put(footer);
  put(kMagic);
  return !failed_;
}

}  // namespace tavik::recording
