// A long-running program's log on standard output (the bridge's, the ROS 2
// node's): lines from several threads, one at a time, each after the
// program's prefix ("bridge: "); with --json each is a record {"log": TEXT,
// "stamp": UTC}.
#pragma once

#include <mutex>
#include <string>

#include "output.h"

namespace tavik::cli {

class ProgramLog {
 public:
  ProgramLog(Output& out, std::string prefix) : out_(out), prefix_(std::move(prefix)) {}
  void line(const std::string& text);

 private:
  Output& out_;
  const std::string prefix_;
  std::mutex mutex_;
};

}  // namespace tavik::cli
