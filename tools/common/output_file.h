// An output file of the tool: watch's CSV recording, check's JUnit report,
// param save's backup; or standard output for "-" (or /dev/stdout). Where
// the name leads is output_target's: a regular file is written as a
// temporary file beside it and renamed over the name by finish, so that a
// run that fails leaves the name as it was (an existing file is replaced
// only with overwrite, never by surprise), and a symbolic link is refused; a
// device or FIFO is written as a stream. Each line goes out whole and at
// once, so that a run killed outright keeps every line written until then
// in the temporary file (.NAME.XXXXXX); a write the system refuses ends the
// output with the file's name and the reason.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tavik::cli {

class OutputFile {
 public:
  // Throws CommandError (exit 2) when the file exists and overwrite is not
  // given, is a symbolic link or a directory, or cannot be created: "cannot
  // create the CSV file x.csv: No such file or directory"; `what` names the
  // file's kind in those messages.
  OutputFile(const std::string& path, bool overwrite, const std::string& what = "CSV file");
  // Without finish, a temporary file is removed and the name left as it was.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool to_standard_output() const { return standard_output_; }
  // Writes one line; false once the output cannot go on (see closed and
  // failure).
  bool write_line(const std::string& line);
  // Writes bytes as they are (a binary recording), out at once as a line is.
  bool write(std::string_view bytes);
  // Puts what was written in place under the name; false when it could
  // not be (see failure).
  bool finish();
  // Standard output's reader went away: the output ends quietly.
  bool closed() const { return closed_; }
  // "cannot write x.csv: No space left on device", or "".
  const std::string& failure() const { return failure_; }

 private:
  std::string path_;
  std::string what_;
  bool overwrite_;
  bool standard_output_ = false;
  std::FILE* file_ = nullptr;
  std::string temporary_;  // a regular file's, until finish
  bool closed_ = false;
  std::string failure_;
};

}  // namespace tavik::cli
