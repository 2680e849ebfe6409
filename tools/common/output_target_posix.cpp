// Output files on Linux and other POSIX systems: lstat for what the name is,
// O_NOFOLLOW and O_EXCL for what is opened, rename (renameat2 without
// replacing, where there is no overwrite) to put the text in place.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output_target_system.h"

namespace tavik::cli {
namespace {

// The descriptor that /dev/stdout, /dev/stderr, /dev/stdin, /dev/fd/N or
// /proc/self/fd/N names, or -1.
int own_descriptor(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    const std::string p = prefix;
    if (path.rfind(p, 0) != 0 || path.size() == p.size() || path.size() > p.size() + 6) continue;
    const std::string digits = path.substr(p.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos) continue;
    return std::stoi(digits);
  }
  return -1;
}

// A character device or FIFO the name is: opened where it is, not waiting
// for a FIFO's reader.
OutputTarget open_stream(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 && errno == ENXIO) return output_failed(OutputFault::kNoReader, "");
  if (fd < 0) return output_system_failure(errno);
  // Written as a stream: a write waits for room as to any file.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return output_stream(fd);
}

}  // namespace

const char kFolderSeparators[] = "/";

int create_new_file(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
}

std::FILE* stream_on(int fd) {
  std::FILE* file = ::fdopen(fd, "w");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return file;
}

OutputTarget open_output(const std::string& path, bool overwrite) {
  if (const int own = own_descriptor(path); own >= 0) {
    if (own == STDOUT_FILENO) {
      OutputTarget target;
      target.standard_output = true;
      return target;
    }
    const int fd = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
    return fd < 0 ? output_system_failure(errno) : output_stream(fd);
  }
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno != ENOENT) return output_system_failure(errno);
    return open_temporary(path);
  }
  if (S_ISLNK(st.st_mode)) return output_failed(OutputFault::kSymlink, "");
  if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return open_stream(path);
  if (S_ISDIR(st.st_mode)) return output_failed(OutputFault::kNotAFile, "a directory");
  if (!S_ISREG(st.st_mode)) return output_failed(OutputFault::kNotAFile, "a block device");
  if (!overwrite) return output_failed(OutputFault::kExists, "");
  return open_temporary(path);
}

std::string sync_output(std::FILE* file) {
  if (std::fflush(file) != 0 || ::fsync(::fileno(file)) != 0) return std::strerror(errno);
  return "";
}

OutputFault place_output(const std::string& temporary, const std::string& path, bool overwrite,
                         std::string& detail) {
  int done = overwrite ? ::rename(temporary.c_str(), path.c_str())
                       : ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
  if (done != 0 && !overwrite && (errno == EINVAL || errno == ENOSYS)) {
    // A file system without renameat2's flags: a link fails as well when the name exists.
    done = ::link(temporary.c_str(), path.c_str());
    if (done == 0) ::unlink(temporary.c_str());
  }
  if (done == 0) return OutputFault::kNone;
  const int error = errno;
  drop_output(temporary);
  if (error == EEXIST) return OutputFault::kExists;
  detail = std::strerror(error);
  return OutputFault::kSystem;
}

void drop_output(const std::string& temporary) {
  if (!temporary.empty()) ::unlink(temporary.c_str());
}

}  // namespace tavik::cli
