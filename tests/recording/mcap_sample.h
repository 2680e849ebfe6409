// Sample recordings of the MCAP writer for its tests: messages on two
// channels, 100 ms apart, with where each chunk ended.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "recording/mcap_writer.h"

namespace tavik::test {

constexpr std::uint64_t kStart = 1'796'000'000'000'000'000;  // 2026-11-30, in ns
constexpr std::uint64_t kMs = 1'000'000;

struct Written {
  std::string bytes;
  std::vector<std::size_t> chunk_ends;  // file size after each chunk and its indexes
};

// `count` messages on two channels, 100 ms apart, alternating.
inline Written write_sample(int count, recording::McapChunking chunking) {
  Written w;
  recording::McapWriter writer([&](std::string_view b) { return w.bytes.append(b), true; }, "tavik test",
                               chunking);
  const auto schema = writer.add_schema("battery", "jsonschema", R"({"type":"object"})");
  const auto a = writer.add_channel("/psb/battery", schema, "json");
  const auto b = writer.add_channel("/drvb/wheels", schema, "json");
  for (int i = 0; i < count; ++i) {
    const std::uint64_t t = kStart + static_cast<std::uint64_t>(i) * 100 * kMs;
    const std::size_t before = w.bytes.size();
    EXPECT_TRUE(writer.write(i % 2 == 0 ? a : b, t, t, nlohmann::json{{"i", i}}.dump()));
    if (w.bytes.size() != before) w.chunk_ends.push_back(w.bytes.size());
  }
  EXPECT_TRUE(writer.finish());
  return w;
}

}  // namespace tavik::test
