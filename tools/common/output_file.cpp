#include "output_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "bounded_output.h"
#include "command_error.h"
#include "output_target.h"

namespace tavik::cli {
namespace {

// As long as a line of the readings may wait for a slow reader.
constexpr auto kRowBound = std::chrono::milliseconds(500);

CommandError not_created(const char* reason, const std::string& text) {
  return CommandError(kExitUsage, reason, "", std::nullopt, "", text);
}

std::string exists_text(const std::string& what, const std::string& path) {
  return "the " + what + " " + path + " exists; give --force to write over it, or another name";
}

}  // namespace

OutputFile::OutputFile(const std::string& path, bool overwrite, const std::string& what)
    : path_(path), what_(what), overwrite_(overwrite) {
  if (path == "-") {
    standard_output_ = true;
    return;
  }
  OutputTarget target = open_output(path, overwrite);
  switch (target.fault) {
    case OutputFault::kNone:
      break;
    case OutputFault::kExists:
      throw not_created(reason::kFileExists, exists_text(what, path));
    case OutputFault::kSymlink:
      throw not_created(reason::kFileNotWritable,
                        "the " + what + " " + path +
                            " is a symbolic link: not written through; give the name of the file itself");
    case OutputFault::kNotAFile:
      throw not_created(reason::kFileNotWritable,
                        "cannot write the " + what + " " + path + ": it is " + target.detail);
    case OutputFault::kNoReader:
      throw not_created(reason::kFileNotWritable, "cannot write the " + what + " " + path +
                                                      ": no process reads the FIFO (start its reader first)");
    case OutputFault::kSystem:
      throw not_created(reason::kFileNotWritable,
                        "cannot create the " + what + " " + path + ": " + target.detail);
  }
  standard_output_ = target.standard_output;
  file_ = target.file;
  temporary_ = target.temporary;
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
  drop_output(temporary_);
}

bool OutputFile::write_line(const std::string& line) { return write(line + "\n"); }

bool OutputFile::write(std::string_view text) {
  if (closed_ || !failure_.empty()) return false;
  if (file_ != nullptr) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0)
      return true;
    failure_ = "cannot write " + path_ + ": " + std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  const WriteResult result = write_bounded(Stream::kOut, std::string(text), kRowBound);
  if (result.written == Written::kWhole) return true;
  if (result.written == Written::kClosed)
    closed_ = true;
  else if (result.written == Written::kFailed)
    failure_ = "cannot write the " + what_ + " to standard output: " + result.reason;
  else
    failure_ = "cannot write the " + what_ + " to standard output: its reader took no line for 0.5 s";
  return false;
}

bool OutputFile::finish() {
  if (file_ == nullptr) return failure_.empty();
  std::string why = temporary_.empty() ? "" : sync_output(file_);
  errno = 0;
  if (std::fclose(file_) != 0 && why.empty()) why = std::strerror(errno != 0 ? errno : EIO);
  file_ = nullptr;
  if (why.empty() && failure_.empty() && !temporary_.empty()) {
    const std::string temporary = std::exchange(temporary_, "");
    const OutputFault placed = place_output(temporary, path_, overwrite_, why);
    if (placed == OutputFault::kExists)
      failure_ = exists_text(what_, path_) + " (made while this one was written)";
  }
  if (!why.empty() && failure_.empty()) failure_ = "cannot write " + path_ + ": " + why;
  return failure_.empty();
}

}  // namespace tavik::cli
