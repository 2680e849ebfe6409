// A regular file on Windows: a device name (NUL, COM1) or a directory is
// refused before anything is read.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "regular_file.h"

namespace tavik::cli {

RegularFile read_regular_file(const std::string& path, std::size_t most_bytes) {
  RegularFile file;
  const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    file.error = std::strerror(errno);
    return file;
  }
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0) {
    file.error = std::strerror(errno);
  } else if ((st.st_mode & _S_IFMT) != _S_IFREG) {
    file.error = (st.st_mode & _S_IFMT) == _S_IFDIR ? "not a regular file but a directory"
                                                    : "not a regular file but a device";
  } else {
    read_at_most(file, most_bytes, [fd](char* buffer, std::size_t size) {
      return static_cast<long>(::_read(fd, buffer, static_cast<unsigned>(size)));
    });
  }
  ::_close(fd);
  if (!file.error.empty()) file.text.clear();
  return file;
}

}  // namespace tavik::cli
