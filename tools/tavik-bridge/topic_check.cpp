#include "topic_check.h"

#include <mosquitto.h>

#include <algorithm>

#include "command_error.h"

namespace tavik::cli {

void check_topic_part(const char* option, const std::string& text, bool slashes, std::size_t longest) {
  const bool fits = !text.empty() && text.size() <= longest;
  const bool utf8 =
      fits && mosquitto_validate_utf8(text.c_str(), static_cast<int>(text.size())) == MOSQ_ERR_SUCCESS;
  const bool control = std::any_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
  if (fits && utf8 && !control && text.find_first_of(slashes ? "+#" : "+#/") == std::string::npos &&
      text.front() != '/' && text.back() != '/')
    return;
  const std::string shown = !fits     ? "(" + std::to_string(text.size()) + " bytes)"
                            : !utf8   ? "(not UTF-8)"
                            : control ? "(with control characters)"
                                      : "'" + text + "'";
  throw CommandError::usage(std::string(option) + ": " + shown + " cannot be part of a topic: 1 to " +
                            std::to_string(longest) + " bytes of UTF-8 without " +
                            (slashes ? "a '/' at either end, " : "'/', ") + "'+', '#' or control characters");
}

}  // namespace tavik::cli
