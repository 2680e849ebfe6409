// tavik check --attach DIR: the run's wire trace and its JSON record saved
// in DIR under names of their own (the robot's id and the start), each
// named in the record by its absolute path with the SHA-256 of its bytes.
#pragma once

#include <string>

#include "check_report.h"

namespace tavik::cli {

class Attachments {
 public:
  // Throws a usage error (exit 2) when dir is not a directory.
  explicit Attachments(std::string dir);

  // Where the wire trace goes, for the run that started at `started` (UTC
  // text) on the device `dut`: points TAVIK_TRACE at it, before any port opens.
  void trace_to(const std::string& dut, const std::string& started);

  // Adds the trace and the record to report.attachments, with their
  // hashes, and saves the record. Throws CommandError (exit 1) when the
  // record cannot be written.
  void save(Report& report);

 private:
  std::string dir_;
  std::string base_;  // DIR/check-DUT-STAMP
};

}  // namespace tavik::cli
