#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "serial/names/port_path.h"
#include "serial/ports/port_list.h"
#include "serial/ports/port_lock.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

// "process 812 (tavik-v1-basic)".
std::string process_text(const fs::path& process) {
  std::string name;
  std::getline(std::ifstream(process / "comm"), name);
  return "process " + process.filename().string() + (name.empty() ? "" : " (" + name + ")");
}

// True when the process holds the master side of pseudo-terminal `index`:
// it is the far end of the line (a board simulator keeps its side open
// too), not a program that holds the port.
bool holds_master(const fs::path& process, const std::string& index) {
  std::error_code unreadable;
  for (const auto& fd : fs::directory_iterator(process / "fd", unreadable)) {
    std::error_code gone;
    const fs::path target = fs::read_symlink(fd.path(), gone);
    if (target != "/dev/ptmx" && target != "/dev/pts/ptmx") continue;
    std::ifstream info(process / "fdinfo" / fd.path().filename());
    for (std::string line; std::getline(info, line);) {
      if (line.rfind("tty-index:", 0) == 0 && line.substr(line.find_first_not_of(" \t", 10)) == index)
        return true;
    }
  }
  return false;
}

// The first line of a sysfs attribute, or "".
std::string attribute(const fs::path& file) {
  std::string value;
  std::getline(std::ifstream(file), value);
  return value;
}

// The USB device above a tty in sysfs (ttyUSB0 -> interface -> device with
// idVendor), or nothing for a port that is not on USB.
std::optional<UsbAdapter> usb_adapter_of(const fs::path& device) {
  std::error_code ec;
  fs::path at = fs::canonical(fs::path("/sys/class/tty") / device.filename() / "device", ec);
  if (ec) return std::nullopt;
  for (; at.has_relative_path() && at != "/sys/devices"; at = at.parent_path()) {
    if (!fs::exists(at / "idVendor", ec)) continue;
    return UsbAdapter{attribute(at / "idVendor"), attribute(at / "idProduct"), attribute(at / "serial")};
  }
  return std::nullopt;
}

// Entries of dir whose names start with prefix, sorted, as (name, path).
std::vector<std::pair<std::string, std::string>> entries(const fs::path& dir, const std::string& prefix) {
  std::vector<std::pair<std::string, std::string>> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) found.emplace_back(name, entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The id a user namespace shows for a user or group it does not map (the
// kernel's overflow id).
constexpr gid_t kUnmappedId = 65534;

// Whether this process runs in a user namespace that maps fewer ids than
// the whole range: the initial namespace's map is "0 0 4294967295"; an
// empty map maps none.
bool in_user_namespace() {
  std::ifstream map("/proc/self/uid_map");
  if (!map) return false;
  unsigned long inside = 0, outside = 0, count = 0;
  if (!(map >> inside >> outside >> count)) return true;
  return count != 4294967295UL;
}

}  // namespace

// As far as /proc lets this user see.
std::string port_holder(const std::string& device_path) {
  std::error_code ec;
  const fs::path device = fs::canonical(device_path, ec);
  if (ec) return "";
  if (const long locker = port_lock_holder(device.string()); locker > 0)
    return process_text(fs::path("/proc") / std::to_string(locker));
  const std::string self = std::to_string(::getpid());
  const std::string pts_index =
      device.parent_path() == "/dev/pts" ? device.filename().string() : std::string();
  for (const auto& process : fs::directory_iterator("/proc", ec)) {
    const std::string pid = process.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    std::error_code unreadable;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", unreadable)) {
      std::error_code gone;
      if (fs::read_symlink(fd.path(), gone) != device) continue;
      if (!pts_index.empty() && holds_master(process.path(), pts_index)) break;
      return process_text(process.path());
    }
  }
  return "";
}

std::string permission_advice(const std::string& device) {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return "this user may not open it";
  if (st.st_gid == kUnmappedId && in_user_namespace())
    return "its group is not mapped into this user namespace (a service's PrivateUsers=): the group "
           "that owns it must be one the service is given (SupplementaryGroups=)";
  if (st.st_gid != 0) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
      return std::string("add yourself to the group ") + found->gr_name;
  }
  return "this user may not open it";
}

std::vector<PortName> list_serial_ports() {
  std::vector<PortName> ports;
  auto add = [&ports](const std::string& name, const std::string& path) {
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    ports.push_back({name, ec ? path : device.string(), ec ? std::nullopt : usb_adapter_of(device)});
  };
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
    for (const auto& [name, path] : entries("/dev", prefix)) add(path, path);
  }
  for (const auto& [name, path] : entries("/dev/serial/by-id", "")) add(path, path);
  const std::string com_dir = com_name_dir();
  for (const auto& [name, path] : entries(com_dir, "")) add(name, path);
  if (com_dir != kComLinkDir) {
    for (const auto& [name, path] : entries(kComLinkDir, "")) add(path, path);
  }
  return ports;
}

// A ttyS device without a UART behind it (the kernel makes a few of them
// whether or not the hardware exists) is not probed; one this user may not
// open says so.
std::string not_probed(const std::string& device) {
  if (device.rfind("/dev/ttyS", 0) != 0) return "";
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM) return "permission denied (" + permission_advice(device) + ")";
    if (errno == EIO || errno == ENXIO || errno == ENODEV) return "no device";
    return std::strerror(errno);
  }
  serial_struct info{};
  const bool none = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
  ::close(fd);
  return none ? "no device" : "";
}

}  // namespace tavik
