// What --name and --topic-prefix may be: parts of the bridge's topics.
#pragma once

#include <cstddef>
#include <string>

namespace tavik::cli {

// The longest --name and --topic-prefix, in bytes: the topics and the
// client id stay far within what brokers take.
inline constexpr std::size_t kLongestName = 64;
inline constexpr std::size_t kLongestPrefix = 256;

// A topic level (or, with slashes, levels): 1 to `longest` bytes of UTF-8
// without control characters and MQTT's wildcards. Throws a usage error
// naming option otherwise; the text is shown only when it is short and UTF-8.
void check_topic_part(const char* option, const std::string& text, bool slashes, std::size_t longest);

}  // namespace tavik::cli
