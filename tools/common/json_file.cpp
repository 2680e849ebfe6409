#include "json_file.h"

#include "command_error.h"
#include "regular_file.h"
#include "strict_json.h"

namespace tavik::cli {

Json read_json_file(const std::string& option, const std::string& path, std::string* text) {
  const RegularFile file = read_regular_file(path, kMostJsonFileBytes);
  if (!file.error.empty()) throw CommandError::usage(option + " " + path + ": cannot read it: " + file.error);
  StrictJson json = parse_strict_json(file.text);
  if (!json.error.empty()) throw CommandError::usage(option + " " + path + ": " + json.error);
  if (text != nullptr) *text = file.text;
  return std::move(json.value);
}

}  // namespace tavik::cli
