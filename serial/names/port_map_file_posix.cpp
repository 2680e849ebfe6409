#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/names/port_map_file.h"

namespace tavik {
namespace {

FileStamp stamp_of(const struct stat& st) {
  constexpr std::int64_t kNs = 1000000000;
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec * kNs + st.st_mtim.tv_nsec,
          st.st_ctim.tv_sec * kNs + st.st_ctim.tv_nsec};
}

bool owned_by_us(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

// "" when st may be read as a ports file, else why not.
std::string refusal(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (!owned_by_us(st))
    return "owned by another user (uid " + std::to_string(st.st_uid) + "), not by you or root";
  if ((st.st_mode & S_IWOTH) != 0) return "writable by every user (chmod o-w)";
  if (static_cast<std::uint64_t>(st.st_size) > kPortsFileMaxBytes) return ports_file_too_large();
  return "";
}

PortsFileRead refused(std::string why) {
  PortsFileRead read;
  read.outcome = PortsFileRead::Outcome::kRefused;
  read.why = std::move(why);
  return read;
}

}  // namespace

PortsFileRead read_ports_file(const std::string& path, const FileStamp* known) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return refused(std::string("cannot be looked at: ") + std::strerror(errno));
  }
  if (S_ISLNK(st.st_mode)) {
    // A link another user planted in a home directory would lead root to
    // read, and quote in its messages, a file of root's.
    if (!owned_by_us(st)) return refused("a symbolic link owned by another user, not by you or root");
    if (::stat(path.c_str(), &st) != 0)
      return refused(std::string("a symbolic link to nothing readable: ") + std::strerror(errno));
  }
  if (std::string why = refusal(st); !why.empty()) return refused(why);
  PortsFileRead read;
  read.stamp = stamp_of(st);
  if (known != nullptr && *known == read.stamp) {
    read.outcome = PortsFileRead::Outcome::kUnchanged;
    return read;
  }
  // The flags keep a file swapped in since the look above from being
  // waited for (a FIFO) or made the terminal of the process.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return refused(std::string("cannot be opened: ") + std::strerror(errno));
  struct stat opened {};
  std::string why = ::fstat(fd, &opened) != 0 ? std::strerror(errno) : refusal(opened);
  read.stamp = stamp_of(opened);
  char chunk[4096];
  while (why.empty()) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno != EINTR) why = std::string("cannot be read: ") + std::strerror(errno);
      continue;
    }
    read.text.append(chunk, static_cast<std::size_t>(n));
    // The file grew since it was looked at.
    if (read.text.size() > kPortsFileMaxBytes) why = ports_file_too_large();
  }
  ::close(fd);
  if (!why.empty()) return refused(why);
  read.outcome = PortsFileRead::Outcome::kRead;
  return read;
}

}  // namespace tavik
