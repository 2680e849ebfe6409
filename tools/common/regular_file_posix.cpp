// A regular file on Linux and other POSIX systems: opened without waiting
// (a FIFO without a writer would block the open) and looked at before
// anything is read.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "regular_file.h"

namespace tavik::cli {
namespace {

const char* kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "of another kind";
}

}  // namespace

RegularFile read_regular_file(const std::string& path, std::size_t most_bytes) {
  RegularFile file;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    file.error = std::strerror(errno);
    return file;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    file.error = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    file.error = std::string("not a regular file but ") + kind_of(st.st_mode);
  } else {
    file.mode = st.st_mode & 07777;
    file.shared = (st.st_mode & (S_IRWXG | S_IRWXO)) != 0;
    read_at_most(file, most_bytes, [fd](char* buffer, std::size_t size) {
      ssize_t n = 0;
      do {
        n = ::read(fd, buffer, size);
      } while (n < 0 && errno == EINTR);
      return static_cast<long>(n);
    });
  }
  ::close(fd);
  if (!file.error.empty()) file.text.clear();
  return file;
}

}  // namespace tavik::cli
