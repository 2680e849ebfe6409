// The bench tool on Linux and other POSIX systems: signals taken through a
// signalfd, poll() on standard output, serial ports under /dev.
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "options.h"
#include "output.h"
#include "platform.h"
#include "serial/port_path.h"
#include "sim/port_lock_probe.h"
#include "udev_rule_lines.h"

namespace tavik::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kChunk = 256;

sigset_t stop_set() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

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

// The program that holds the device: the one with the libraries' lock on
// it, else the first other process with it open that is not the far end of
// a pseudo-terminal, as far as /proc lets this user see; "" when none is
// seen.
std::string holder_of(const std::string& device_path) {
  std::error_code ec;
  const fs::path device = fs::canonical(device_path, ec);
  if (ec) return "";
  if (const long locker = sim::port_lock_holder(device.string()); locker > 0)
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

// "permission denied (add yourself to the group dialout)", by the device's
// group; with the path first when with_path.
std::string permission_denied(const std::string& path, bool with_path) {
  std::string advice = "this user may not open it";
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && st.st_gid != 0) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
      advice = std::string("add yourself to the group ") + found->gr_name;
  }
  return "permission denied (" + (with_path ? path + "; " : std::string()) + advice + ")";
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
    if (errno == EACCES || errno == EPERM) return {reason::kNoPermission, permission_denied(path, true)};
    return {reason::kOpenFailed, std::string(std::strerror(errno)) + " (" + path + ")"};
  }
  const bool terminal = ::isatty(fd) != 0;
  ::close(fd);
  if (!terminal) return {reason::kNotSerial, "not a serial device (" + path + ")"};
  return {reason::kOpenFailed, "cannot be opened (" + path + ")"};
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

// The value in `line` after `key` ("ATTRS{serial}==\"") up to its closing
// quote replaced by value.
void set_value(std::string& line, const std::string& key, const std::string& value) {
  const std::size_t start = line.find(key);
  if (start == std::string::npos) return;
  const std::size_t from = start + key.size();
  line.replace(from, line.find('"', from) - from, value);
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

}  // namespace

void keep_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd)
      ::_exit(kExitUsage);
  }
}

void set_environment(const char* name, const char* value) { ::setenv(name, value, 1); }

std::string host_name() {
  char name[256] = {};
  return ::gethostname(name, sizeof name - 1) == 0 ? name : "";
}

void block_stop_signals() {
  sigset_t set = stop_set();
  sigaddset(&set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int wait_for_stop(std::chrono::steady_clock::time_point until) {
  // The signals stay blocked; the descriptor takes them as they come.
  static const int signal_fd = [] {
    const sigset_t set = stop_set();
    return ::signalfd(-1, &set, SFD_CLOEXEC);
  }();
  for (;;) {
    if (watch_output_closed()) return kOutputClosed;
    auto left =
        std::chrono::duration_cast<std::chrono::nanoseconds>(until - std::chrono::steady_clock::now());
    if (left.count() < 0) left = std::chrono::nanoseconds(0);
    timespec ts{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
    // Standard output with no events asked for reports only its reader going away.
    pollfd fds[2] = {{signal_fd, POLLIN, 0}, {STDOUT_FILENO, 0, 0}};
    const int ready = ::ppoll(fds, 2, &ts, nullptr);
    if (ready < 0 && errno == EINTR) continue;  // some other signal: wait on for the rest
    if (ready < 0) {
      // No descriptor to wait on: wait for the signals alone.
      const sigset_t set = stop_set();
      const int sig = sigtimedwait(&set, nullptr, &ts);
      return sig > 0 ? sig : 0;
    }
    if (fds[0].revents & POLLIN) {
      signalfd_siginfo info{};
      if (::read(signal_fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
        return static_cast<int>(info.ssi_signo);
    }
    if (ready == 0) return 0;
  }
}

const char* stop_signal_name(int request) {
  switch (request) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    case kOutputClosed:
      return "output closed";
  }
  return "signal";
}

WriteResult write_bounded(Stream stream, const std::string& text, std::chrono::milliseconds bound) {
  const int fd = stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + bound;
  std::size_t sent = 0;
  while (sent < text.size()) {
    // Room is looked for before each write: a pipe or terminal that polls
    // writable takes a chunk this small without blocking.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::max<long>(left.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {Written::kTimedOut, ""};
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return {Written::kClosed, ""};
    const ssize_t n = ::write(fd, text.data() + sent, std::min<std::size_t>(text.size() - sent, kChunk));
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      // A terminal that hung up fails with EIO; a file with EIO is broken.
      const bool gone = errno == EPIPE || errno == EBADF || (errno == EIO && ::isatty(fd) != 0);
      if (gone) return {Written::kClosed, ""};
      return {Written::kFailed, std::strerror(errno)};
    }
  }
  return {Written::kWhole, ""};
}

bool output_hung_up() {
  // No events asked for: only the reader's end (POLLERR on a pipe, POLLHUP
  // on a terminal) is reported, never room to write.
  pollfd p{STDOUT_FILENO, 0, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

bool is_terminal(Stream stream) {
  return ::isatty(stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO) != 0;
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
  // COM<n> names resolve through TAVIK_COM_DIR when it is set, else the udev rule's links.
  const char* com_dir = std::getenv("TAVIK_COM_DIR");
  for (const auto& [name, path] : entries(com_dir != nullptr && *com_dir ? com_dir : kComLinkDir, ""))
    add(name, path);
  if (com_dir != nullptr && *com_dir) {
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
    if (errno == EACCES || errno == EPERM) return permission_denied(device, false);
    if (errno == EIO || errno == ENXIO || errno == ENODEV) return "no device";
    return std::strerror(errno);
  }
  serial_struct info{};
  const bool none = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
  ::close(fd);
  return none ? "no device" : "";
}

std::string udev_line(const UsbAdapter& usb, Board board) {
  if (usb.serial.empty() || usb.serial.find('"') != std::string::npos) return "";
  std::string line = board == Board::kPsb ? kPsbUdevLine : kDrvbUdevLine;
  set_value(line, "ATTRS{idVendor}==\"", usb.vendor);
  set_value(line, "ATTRS{serial}==\"", usb.serial);
  return line;
}

bool port_busy(const std::string& device) { return sim::port_locked(device); }

std::string port_holder(const std::string& device) { return holder_of(device); }

OpenFailure open_failure(const std::string& port_name) {
  const std::string path = resolve_port_path(port_name.c_str());
  OpenFailure failure = find_failure(path);
  const long n = com_number(port_name);
  const char* com_dir = std::getenv("TAVIK_COM_DIR");
  const bool com_dir_set = com_dir != nullptr && *com_dir != '\0';
  if (n < 0 || failure.reason == reason::kPortBusy) return failure;
  const std::string linked = std::string(kComLinkDir) + "/" + port_name;
  if (!com_dir_set && path != linked) {
    // Neither a simulator's directory nor the udev rule's link: the name fell
    // back to the on-board serial ports.
    failure.text += "; " + port_name + " is looked for as $TAVIK_COM_DIR/" + port_name +
                    " when TAVIK_COM_DIR is set (tavik-sim prints it), else as " + linked +
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
