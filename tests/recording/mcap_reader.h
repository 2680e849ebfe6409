// An MCAP file as @mcap/core reads it: read_mcap.mjs run under Node.js,
// its JSON parsed (see that script for what it holds).
#pragma once

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace tavik::test {

struct McapRead {
  bool ok = false;
  nlohmann::json content;
  std::string error;  // the reader's message when it refused the file
};

// With stream, the stream reader from the start instead of the indexed one.
inline McapRead read_mcap(const std::string& path, bool stream = false) {
  const std::string command = std::string("'" TAVIK_NODE "' '" TAVIK_MCAP_READER "' ") +
                              (stream ? "--stream " : "") + "'" + path + "' 2>&1";
  McapRead r;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  std::string out;
  std::array<char, 65536> buf;
  for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0;) out.append(buf.data(), n);
  const int status = ::pclose(pipe);
  if (status != 0) {
    r.error = out;
    return r;
  }
  r.content = nlohmann::json::parse(out, nullptr, false);
  r.ok = !r.content.is_discarded();
  if (!r.ok) r.error = "not JSON: " + out;
  return r;
}

}  // namespace tavik::test
