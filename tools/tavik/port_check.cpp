#include "port_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/port_path.h"
#include "sim/port_lock_probe.h"

namespace tavik::cli {

bool port_busy(const std::string& device_path) { return sim::port_locked(device_path); }

std::string open_failure_reason(const std::string& port_name) {
  const std::string path = resolve_port_path(port_name.c_str());
  if (path.empty()) return "no such port";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "missing (" + path + ")";
  if (!S_ISCHR(st.st_mode)) return "not a serial device (" + path + ")";
  if (port_busy(path)) return "busy: another program has it open";
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EBUSY) return "busy: another program has it open";
    return std::string(std::strerror(errno)) + " (" + path + ")";
  }
  const bool terminal = ::isatty(fd) != 0;
  ::close(fd);
  return terminal ? "cannot be opened (" + path + ")" : "not a serial device (" + path + ")";
}

}  // namespace tavik::cli
