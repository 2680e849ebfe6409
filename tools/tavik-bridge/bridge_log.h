// The bridge's log on standard output: lines from several threads, one at
// a time; with --json each is a record {"log": TEXT, "stamp": UTC}.
#pragma once

#include <mutex>
#include <string>

#include "output.h"

namespace tavik::cli {

class BridgeLog {
 public:
  explicit BridgeLog(Output& out) : out_(out) {}
  void line(const std::string& text);

 private:
  Output& out_;
  std::mutex mutex_;
};

}  // namespace tavik::cli
