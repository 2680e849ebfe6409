#include "serial/transport/wire_trace.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace tavik {
namespace {

struct Sink {
  std::once_flag setup;
  std::mutex lock;
  std::FILE* file = nullptr;  // null: tracing off
};

Sink& sink() {
  static Sink instance;
  return instance;
}

// The trace file, opened for appending without ever waiting (a FIFO without
// a reader would hold the open for ever, with the stop signals unanswered)
// and without writing anywhere but a plain file of this user's: not through
// a symbolic link, not to a device, FIFO or socket. A new file is this
// user's alone (0600, whatever the umask); the descriptor is not handed to
// child processes. Null, with why, when refused.
#ifdef _WIN32
std::FILE* open_trace_file(const char* path, std::string& why) {
  const HANDLE handle =
      ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    why = "cannot be opened (error " + std::to_string(::GetLastError()) + ")";
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info))
    why = "not a regular file";
  else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    why = "a symbolic link (name the file itself)";
  const int fd = why.empty() ? ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND) : -1;
  if (fd < 0) {
    ::CloseHandle(handle);
    if (why.empty()) why = "cannot be opened";
    return nullptr;
  }
  std::FILE* file = ::_fdopen(fd, "a");
  if (file == nullptr) {
    ::_close(fd);
    why = "cannot be opened";
  }
  return file;
}
#else
std::string refusal(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return "a symbolic link (name the file itself)";
  if (!S_ISREG(st.st_mode)) return "not a regular file";
  if (st.st_uid != ::geteuid()) return "owned by another user";
  return "";
}

std::FILE* open_trace_file(const char* path, std::string& why) {
  constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  struct stat seen {};
  int fd = -1;
  if (::lstat(path, &seen) != 0) {
    fd = ::open(path, kFlags | O_CREAT | O_EXCL, 0600);
    // The umask may have taken bits away, never added any: put them back.
    if (fd >= 0) ::fchmod(fd, 0600);
  } else if (why = refusal(seen); why.empty()) {
    // Not opened before it is known to be a plain file; the flags keep a
    // file swapped in meanwhile from being followed or waited for.
    fd = ::open(path, kFlags);
  } else {
    return nullptr;
  }
  if (fd < 0) {
    why = std::strerror(errno);
    return nullptr;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) why = std::strerror(errno);
  if (why.empty()) why = refusal(st);
  std::FILE* file = why.empty() ? ::fdopen(fd, "a") : nullptr;
  if (file == nullptr) {
    if (why.empty()) why = std::strerror(errno);
    ::close(fd);
  }
  return file;
}
#endif

void open_sink(Sink& s) {
  const char* target = std::getenv("TAVIK_TRACE");
  if (target == nullptr || target[0] == '\0') return;
  if (std::strcmp(target, "stderr") == 0) {
    s.file = stderr;
    return;
  }
  std::string why;
  std::FILE* file = open_trace_file(target, why);
  if (file == nullptr) {
    std::fprintf(stderr, "tavik: cannot trace to %s: %s; tracing is off\n", target, why.c_str());
    return;
  }
  // Lines go out whole: one write each, from a buffer larger than any line.
  std::setvbuf(file, nullptr, _IOFBF, 8192);
  s.file = file;
}

}  // namespace

void wire_trace_setup() {
  Sink& s = sink();
  std::call_once(s.setup, [&s] { open_sink(s); });
}

bool wire_trace_on() { return sink().file != nullptr; }

void wire_trace_line(const char* board, const char* what, const std::uint8_t* data, int count,
                     const char* outcome) {
  Sink& s = sink();
  if (s.file == nullptr) return;
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  std::string line = std::to_string(us) + " " + board + " " + what;
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < count; ++i) {
    line += ' ';
    line += kHex[data[i] >> 4];
    line += kHex[data[i] & 0xF];
  }
  line += "  |";
  for (int i = 0; i < count; ++i)
    line += data[i] >= 0x20 && data[i] < 0x7F ? static_cast<char>(data[i]) : '.';
  line += '|';
  if (outcome != nullptr) {
    line += ' ';
    line += outcome;
  }
  line += '\n';
  std::lock_guard<std::mutex> guard(s.lock);
  std::fwrite(line.data(), 1, line.size(), s.file);
  std::fflush(s.file);
}

}  // namespace tavik
