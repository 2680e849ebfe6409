// Output files on Windows: the file's attributes for what the name is (a
// reparse point is a link), a new file opened exclusively, MoveFileEx to put
// the text in place.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "output_target_system.h"

namespace tavik::cli {

const char kFolderSeparators[] = "/\\";

int create_new_file(const std::string& path) {
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

std::FILE* stream_on(int fd) {
  std::FILE* file = ::_fdopen(fd, "w");
  if (file == nullptr) {
    const int error = errno;
    ::_close(fd);
    errno = error;
  }
  return file;
}

OutputTarget open_output(const std::string& path, bool overwrite) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    struct _stat64 st {};
    // A device name (NUL, CON) has no attributes: written as a stream.
    if (::_stat64(path.c_str(), &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFCHR) {
      const int fd = ::_open(path.c_str(), _O_WRONLY | _O_NOINHERIT);
      return fd < 0 ? output_system_failure(errno) : output_stream(fd);
    }
    return open_temporary(path);
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return output_failed(OutputFault::kSymlink, "");
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return output_failed(OutputFault::kNotAFile, "a directory");
  if (!overwrite) return output_failed(OutputFault::kExists, "");
  return open_temporary(path);
}

std::string sync_output(std::FILE* file) {
  if (std::fflush(file) != 0 || ::_commit(::_fileno(file)) != 0) return std::strerror(errno);
  return "";
}

OutputFault place_output(const std::string& temporary, const std::string& path, bool overwrite,
                         std::string& detail) {
  if (::MoveFileExA(temporary.c_str(), path.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0))
    return OutputFault::kNone;
  const DWORD error = ::GetLastError();
  drop_output(temporary);
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return OutputFault::kExists;
  detail = std::system_category().message(static_cast<int>(error));
  return OutputFault::kSystem;
}

void drop_output(const std::string& temporary) {
  if (!temporary.empty()) ::_unlink(temporary.c_str());
}

}  // namespace tavik::cli
