#include "port_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "options.h"
#include "serial/port_path.h"
#include "sim/port_lock_probe.h"

namespace tavik::cli {
namespace {

namespace fs = std::filesystem;

// "process 812 (tavik-v1-basic)" for the first other process with the
// device open, as far as /proc lets this user see; "" when none is seen.
std::string holder_of(const std::string& device_path) {
  std::error_code ec;
  const fs::path device = fs::canonical(device_path, ec);
  if (ec) return "";
  const std::string self = std::to_string(::getpid());
  for (const auto& process : fs::directory_iterator("/proc", ec)) {
    const std::string pid = process.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    std::error_code unreadable;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", unreadable)) {
      std::error_code gone;
      if (fs::read_symlink(fd.path(), gone) != device) continue;
      std::string name;
      std::getline(std::ifstream(process.path() / "comm"), name);
      return "process " + pid + (name.empty() ? "" : " (" + name + ")");
    }
  }
  return "";
}

OpenFailure busy(const std::string& path) {
  const std::string holder = holder_of(path);
  return {reason::kPortBusy, holder.empty()
                                 ? "busy: another program has it open (the system does not say which)"
                                 : "busy: held by " + holder};
}

OpenFailure find_failure(const std::string& path) {
  if (path.empty()) return {reason::kNoSuchPort, "no such port"};
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {reason::kPortMissing, "missing (" + path + ")"};
  if (!S_ISCHR(st.st_mode)) return {reason::kNotSerial, "not a serial device (" + path + ")"};
  if (port_busy(path)) return busy(path);
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EBUSY) return busy(path);
    if (errno == EACCES)
      return {reason::kNoPermission, "permission denied (" + path + "; is this user in the group dialout?)"};
    return {reason::kOpenFailed, std::string(std::strerror(errno)) + " (" + path + ")"};
  }
  const bool terminal = ::isatty(fd) != 0;
  ::close(fd);
  if (!terminal) return {reason::kNotSerial, "not a serial device (" + path + ")"};
  return {reason::kOpenFailed, "cannot be opened (" + path + ")"};
}

}  // namespace

bool port_busy(const std::string& device_path) { return sim::port_locked(device_path); }

OpenFailure open_failure(const std::string& port_name) {
  const std::string path = resolve_port_path(port_name.c_str());
  OpenFailure failure = find_failure(path);
  const long n = com_number(port_name);
  const char* com_dir = std::getenv("TAVIK_COM_DIR");
  const bool com_dir_set = com_dir != nullptr && *com_dir != '\0';
  if (n < 0 || failure.reason == reason::kPortBusy) return failure;
  if (!com_dir_set && path != "/dev/tavik/" + port_name) {
    // Neither a simulator's directory nor the udev rule's link: the name fell
    // back to the on-board serial ports.
    failure.text += "; " + port_name + " is looked for as $TAVIK_COM_DIR/" + port_name +
                    " when TAVIK_COM_DIR is set (tavik-sim prints it), else as /dev/tavik/" + port_name +
                    " (made by the udev rule 99-tavik-com.rules for the boards' USB adapters), else as " +
                    (path.empty() ? std::string("/dev/ttyS<n-1>") : path) +
                    "; 'tavik ports' lists the ports found";
  } else if (com_dir_set && failure.reason == reason::kPortMissing) {
    failure.text += "; TAVIK_COM_DIR is set, so " + port_name +
                    " is looked for there only; 'tavik ports' lists the ports found";
  }
  return failure;
}

}  // namespace tavik::cli
