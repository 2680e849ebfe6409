// Where watch writes its CSV recording (and check its JUnit report, param
// save its backup): a file it creates (an existing one
// only with --force, never by surprise), or standard output for "-". Each
// row goes out whole and at once, so that a recording cut short by a crash
// or a pulled cable keeps every row written until then; a write the system
// refuses ends the recording with the file's name and the reason.
#pragma once

#include <cstdio>
#include <string>

namespace tavik::cli {

class RecordingFile {
 public:
  // Throws CommandError (exit 2) when the file exists and overwrite is not
  // given, or cannot be created: "cannot create the CSV file x.csv: No such
  // file or directory"; `what` names the file's kind in those messages.
  RecordingFile(const std::string& path, bool overwrite, const std::string& what = "CSV file");
  ~RecordingFile();
  RecordingFile(const RecordingFile&) = delete;
  RecordingFile& operator=(const RecordingFile&) = delete;

  bool to_standard_output() const { return file_ == nullptr; }
  // Writes one line; false once the recording cannot go on (see closed and
  // failure).
  bool write_line(const std::string& line);
  // Standard output's reader went away: the recording ends quietly.
  bool closed() const { return closed_; }
  // "cannot write x.csv: No space left on device", or "".
  const std::string& failure() const { return failure_; }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;  // null: standard output
  bool closed_ = false;
  std::string failure_;
};

}  // namespace tavik::cli
