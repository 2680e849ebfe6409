// The node's log on standard output: lines from several threads (the
// polls, DDS's listener, the drive keeper's), one at a time; with --json
// each is a record {"log": TEXT, "stamp": UTC}.
#pragma once

#include <mutex>
#include <string>

#include "output.h"

namespace tavik::cli {

class NodeLog {
 public:
  explicit NodeLog(Output& out) : out_(out) {}
  void line(const std::string& text);

 private:
  Output& out_;
  std::mutex mutex_;
};

}  // namespace tavik::cli
