// tavik check --attach DIR: the run's wire trace and its JSON record saved
// in DIR (made, with its parents, when it is not there) under names of their
// own (the robot's id and the start), each named in the record by its
// absolute path with the SHA-256 of its bytes. Both get the mode every file
// of the tool gets (0666 less the umask, 0644 as a rule): the line's records
// are read by other accounts (the CI server, the archive, quality), which
// must be able to check the trace's hash as well as read the record.
#pragma once

#include <string>

#include "check_report.h"

namespace tavik::cli {

class Attachments {
 public:
  // Makes dir when it is not there; throws a usage error (exit 2) when it
  // is not a directory or cannot be made (file-not-writable).
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
