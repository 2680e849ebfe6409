#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/names/port_map_file_system.h"

namespace tavik {
namespace {

FileStamp stamp_of(const struct stat& st) {
  constexpr std::int64_t kNs = 1000000000;
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec * kNs + st.st_mtim.tv_nsec,
          st.st_ctim.tv_sec * kNs + st.st_ctim.tv_nsec};
}

bool owned_by_us(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

// "" when st may be read as a ports file, else why not (its size aside).
std::string refusal(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (!owned_by_us(st))
    return "owned by another user (uid " + std::to_string(st.st_uid) + "), not by you or root";
  if ((st.st_mode & S_IWOTH) != 0) return "writable by every user (chmod o-w)";
  return "";
}

}  // namespace

PortsFileLook look_at_ports_file(const std::string& path) {
  PortsFileLook look;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR)
      look.absent = true;
    else
      look.refusal = std::string("cannot be looked at: ") + std::strerror(errno);
    return look;
  }
  if (S_ISLNK(st.st_mode)) {
    // A link another user planted in a home directory would lead root to
    // read, and quote in its messages, a file of root's.
    if (!owned_by_us(st)) {
      look.refusal = "a symbolic link owned by another user, not by you or root";
      return look;
    }
    if (::stat(path.c_str(), &st) != 0) {
      look.refusal = std::string("a symbolic link to nothing readable: ") + std::strerror(errno);
      return look;
    }
  }
  look.refusal = refusal(st);
  look.stamp = stamp_of(st);
  return look;
}

std::string read_ports_file_bytes(const std::string& path, std::string& text, FileStamp& stamp) {
  // The flags keep a file swapped in since the look from being waited for
  // (a FIFO) or made the terminal of the process.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::string("cannot be opened: ") + std::strerror(errno);
  struct stat opened {};
  std::string why = ::fstat(fd, &opened) != 0 ? std::strerror(errno) : refusal(opened);
  stamp = stamp_of(opened);
  char chunk[4096];
  while (why.empty() && text.size() <= kPortsFileMaxBytes) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno != EINTR) why = std::string("cannot be read: ") + std::strerror(errno);
      continue;
    }
    text.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return why;
}

}  // namespace tavik
