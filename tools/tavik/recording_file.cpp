#include "recording_file.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstring>

#include "bounded_output.h"
#include "options.h"

namespace tavik::cli {
namespace {

// As long as a line of the readings may wait for a slow reader.
constexpr auto kRowBound = std::chrono::milliseconds(500);

// A new file (or, with overwrite, one emptied), not handed to child processes.
#ifdef _WIN32
int create(const std::string& path, bool overwrite) {
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_NOINHERIT | (overwrite ? _O_TRUNC : _O_EXCL),
                 _S_IREAD | _S_IWRITE);
}
std::FILE* stream_of(int fd) { return ::_fdopen(fd, "w"); }
void close_fd(int fd) { ::_close(fd); }
#else
int create(const std::string& path, bool overwrite) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL), 0666);
}
std::FILE* stream_of(int fd) { return ::fdopen(fd, "w"); }
void close_fd(int fd) { ::close(fd); }
#endif

CommandError not_created(const char* reason, const std::string& text) {
  return CommandError(kExitUsage, reason, "", std::nullopt, "", text);
}

}  // namespace

RecordingFile::RecordingFile(const std::string& path, bool overwrite, const std::string& what) : path_(path) {
  if (path == "-") return;
  const int fd = create(path, overwrite);
  if (fd < 0 && errno == EEXIST)
    throw not_created(reason::kFileExists,
                      "the " + what + " " + path + " exists; give --force to write over it, or another name");
  if (fd < 0)
    throw not_created(reason::kFileNotWritable,
                      "cannot create the " + what + " " + path + ": " + std::strerror(errno));
  file_ = stream_of(fd);
  if (file_ == nullptr) {
    const int error = errno;
    close_fd(fd);
    throw not_created(reason::kFileNotWritable,
                      "cannot create the " + what + " " + path + ": " + std::strerror(error));
  }
}

RecordingFile::~RecordingFile() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RecordingFile::write_line(const std::string& line) {
  if (closed_ || !failure_.empty()) return false;
  const std::string text = line + "\n";
  if (file_ != nullptr) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0)
      return true;
    failure_ = "cannot write " + path_ + ": " + std::strerror(errno != 0 ? errno : EIO);
    return false;
  }
  const WriteResult result = write_bounded(Stream::kOut, text, kRowBound);
  if (result.written == Written::kWhole) return true;
  if (result.written == Written::kClosed)
    closed_ = true;
  else if (result.written == Written::kFailed)
    failure_ = "cannot write the CSV to standard output: " + result.reason;
  else
    failure_ = "cannot write the CSV to standard output: its reader took no row for 0.5 s";
  return false;
}

}  // namespace tavik::cli
