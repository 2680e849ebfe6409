// Everything the tool prints: results on standard output as JSON lines
// (--json) or as "name: value" lines, errors on standard error in the same
// form. No write waits longer than a bound: a line that cannot be written in
// time is dropped and counted, and the count is reported at exit. A write
// the system refuses (a full disk) ends the output, and the command fails.
#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

#include "bounded_output.h"
#include "command_error.h"

namespace tavik::cli {

using Json = nlohmann::ordered_json;

// True when standard output went away; set by the first write that finds it
// closed, or by watch_output_closed.
bool output_closed();
// Polls standard output once, without writing, for a reader that went away.
bool watch_output_closed();

class Output {
 public:
  explicit Output(bool json) : json_(json) {}
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  bool json() const { return json_; }
  // The results go to standard error from now on (standard output carries
  // something else: watch --csv -).
  void results_to_error() { results_ = Stream::kErr; }
  bool results_on_terminal() const { return is_terminal(results_); }
  // "cannot write to standard output: No space left on device" once a write
  // failed, else "".
  const std::string& failure() const { return failure_; }
  // One result: a JSON line, or one "name: value" line per field.
  void record(const Json& record);
  // A line of its own, as it is (the table and summary of watch).
  void line(const std::string& text);
  // Raw text to standard output, such as terminal control sequences.
  void raw(const std::string& text);
  // {"error": {"command", "board", "port", "reason", "message", ...}} as JSON,
  // else "tavik: COMMAND: MESSAGE"; on standard error.
  void error(const std::string& command, const CommandError& error);

 private:
  void err(const std::string& text);

  bool json_;
  Stream results_ = Stream::kOut;
  std::string failure_;
  int dropped_ = 0;
};

// "battery_mv: 12430" lines of a record, nested names joined with '.'.
std::string as_text(const Json& record);

}  // namespace tavik::cli
