// JSON as the tool takes it from a person or the broker (check's limits,
// param restore's backup, the bridge's commands): one document, each key of
// an object once, every number one a double can hold, and no NUL byte
// (nlohmann's reader stops at one and would take what comes before it).
#pragma once

#include <string>

#include "output.h"

namespace tavik::cli {

struct StrictJson {
  Json value;
  // "" when the text was taken, else why not, naming the entry:
  // "not JSON: ...", "'parameters.max-velocity' is given twice",
  // "'battery.low': the number 1e400 is out of range".
  std::string error;
};

StrictJson parse_strict_json(const std::string& text);

}  // namespace tavik::cli
