// What a "Sar" exchange costs when its reply comes at the line rate, as on a
// real wire: a board on a pseudo-terminal that sends each byte of the 44-byte
// reply when its ten bits would have arrived at 115200 baud (86.8 us a byte,
// counted from the request's first byte: 6 + 44 bytes, 4.34 ms of wire
// time). The library (lib_zarn_rs232, the PSB's range read) against
// libserialport (sp_blocking_write, then sp_blocking_read of the 44 bytes)
// and pyserial (write, then read(44), in a python3 child), taking turns in
// rounds so that all three see the same load on the machine.
//
// Prints, for each, the CPU time of the calling thread per exchange
// (getrusage; the child's own for pyserial), its waits per exchange (each a
// sleep and a wake-up) and the time of an exchange against the wire time.
// The library is the one the dynamic loader finds: LD_LIBRARY_PATH=<dir>
// measures another build of it.
//
// libserialport opens only ports it finds in /sys/class/tty, which has no
// pseudo-terminals: as root, the bench mounts the board's pseudo-terminal
// over /dev/ttyS0 in a mount namespace of its own, seen by no other process,
// and libserialport opens that. It also reads and sets the modem lines as it
// opens and sets up a port, which a pseudo-terminal refuses (ENOTTY): while
// it does, the bench's own ioctl() takes such a refusal for lines all low.
//
//   paced_sar_bench [ROUNDS [PER_ROUND]]      (default 10 rounds of 40; a
//                                             round of pyserial's is bounded
//                                             at 5 s, about 1000 exchanges)
#include <dlfcn.h>
#include <libserialport.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/models/frame_builder.h"
#include "tavik/zarn_rs232.h"
#include "tests/support/peers/paced_peer.h"
#include "tests/support/processes/child_program.h"

namespace {

// Set while libserialport opens, sets up or closes the port (see above).
thread_local bool modem_lines_on_pty = false;

}  // namespace

extern "C" __attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  using Ioctl = int (*)(int, unsigned long, void*);
  static const auto real = reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, "ioctl"));
  const int r = real(fd, request, arg);
  const bool modem_lines =
      request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
  if (r == 0 || errno != ENOTTY || !modem_lines || !modem_lines_on_pty) return r;
  if (request == TIOCMGET) *static_cast<int*>(arg) = 0;
  return 0;
}

namespace {

using Clock = std::chrono::steady_clock;
using tavik::sim::Bytes;

constexpr int kRequestBytes = 6;  // STX, "Sar", ETX, BCC
constexpr int kReplyBytes = 44;   // STX, 40, 40 data bytes, ETX, BCC
constexpr auto kWireTime = tavik::test::kLineByteTime * (kRequestBytes + kReplyBytes);
constexpr std::uint8_t kSarRequest[kRequestBytes] = {0x02, 'S', 'a', 'r', 0x03, 'S' ^ 'a' ^ 'r' ^ 0x03};

// This thread's CPU time in microseconds and its waits (voluntary context
// switches: each is a sleep and a wake-up).
struct ThreadUsage {
  double cpu_us = 0;
  double waits = 0;
};

ThreadUsage thread_usage() {
  rusage usage{};
  ::getrusage(RUSAGE_THREAD, &usage);
  auto us = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_usec);
  };
  return {us(usage.ru_utime) + us(usage.ru_stime), static_cast<double>(usage.ru_nvcsw)};
}

struct Figures {
  explicit Figures(const char* label) : name(label) {}

  const char* name;
  std::vector<double> ms;
  double cpu_us = 0;
  double waits = 0;
  int failed = 0;
  std::string note;

  double quantile(double q) const {
    if (ms.empty()) return 0;
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    return sorted[static_cast<std::size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5)];
  }
  double cpu_per_exchange() const { return ms.empty() ? 0 : cpu_us / static_cast<double>(ms.size()); }
  double waits_per_exchange() const { return ms.empty() ? 0 : waits / static_cast<double>(ms.size()); }
};

// Times `count` exchanges on this thread, after one untimed.
void time_exchanges(Figures& f, int count, const std::function<bool()>& exchange) {
  exchange();
  const ThreadUsage before = thread_usage();
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    f.failed += !exchange();
    f.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const ThreadUsage after = thread_usage();
  f.cpu_us += after.cpu_us - before.cpu_us;
  f.waits += after.waits - before.waits;
}

void round_ours(Figures& f, const std::string& path, int count) {
  if (zarn_rs232_psb_create(path.c_str(), 200) != 0) {
    f.note = "cannot open the port";
    return;
  }
  time_exchanges(f, count, [] {
    int ranges[7];
    return zarn_rs232_psb_read_usonic(ranges) == 0;
  });
  zarn_rs232_psb_destroy();
}

constexpr const char* kSysfsPortName = "/dev/ttyS0";

// Makes the mounts of this process its own, before any thread starts; the
// reason when it cannot.
std::string own_mount_namespace() {
  if (::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0)
    return "";
  return std::string("no mount namespace of its own (root needed): ") + std::strerror(errno);
}

// kSysfsPortName leading to the board, or the reason it does not.
std::string mount_board_over_sysfs_port(const std::string& board) {
  if (::mount(board.c_str(), kSysfsPortName, nullptr, MS_BIND, nullptr) != 0) {
    return std::string("cannot mount the board over ") + kSysfsPortName + ": " + std::strerror(errno);
  }
  return "";
}

void round_libserialport(Figures& f, const std::string& path, int count) {
  modem_lines_on_pty = true;
  sp_port* port = nullptr;
  if (sp_get_port_by_name(path.c_str(), &port) != SP_OK || sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
    char* why = sp_last_error_message();
    f.note = std::string("cannot open the port: ") + (why != nullptr ? why : "?");
    sp_free_error_message(why);
    if (port != nullptr) sp_free_port(port);
    modem_lines_on_pty = false;
    return;
  }
  sp_set_baudrate(port, 115200);
  sp_set_bits(port, 8);
  sp_set_parity(port, SP_PARITY_NONE);
  sp_set_stopbits(port, 1);
  sp_set_flowcontrol(port, SP_FLOWCONTROL_NONE);
  modem_lines_on_pty = false;
  time_exchanges(f, count, [port] {
    std::uint8_t reply[kReplyBytes] = {};
    if (sp_blocking_write(port, kSarRequest, sizeof kSarRequest, 200) != kRequestBytes) return false;
    return sp_blocking_read(port, reply, sizeof reply, 200) == kReplyBytes && reply[0] == 0x02 &&
           reply[kReplyBytes - 2] == 0x03;
  });
  modem_lines_on_pty = true;
  sp_close(port);
  sp_free_port(port);
  modem_lines_on_pty = false;
}

// The child answers "COUNT" with "CPU_US WAITS FAILED MS MS ...".
void round_pyserial(Figures& f, tavik::test::ChildProgram& client, int count) {
  client.send(std::to_string(count) + "\n");
  std::istringstream answer(client.line());
  double cpu_us = 0, waits = 0;
  int failed = 0;
  if (!(answer >> cpu_us >> waits >> failed)) {
    f.note = "no answer from " TAVIK_PYSERIAL_CLIENT " (python3-serial installed?)";
    return;
  }
  f.cpu_us += cpu_us;
  f.waits += waits;
  f.failed += failed;
  for (double ms = 0; answer >> ms;) f.ms.push_back(ms);
}

void print(const Figures& f) {
  const double wire_ms = std::chrono::duration<double, std::milli>(kWireTime).count();
  if (f.ms.empty()) {
    std::printf("  %-14s %s\n", f.name, f.note.c_str());
    return;
  }
  std::printf("  %-14s %8.1f us %6.1f %9.3f ms %8.3f ms %8.3f ms %8.3f %6d\n", f.name, f.cpu_per_exchange(),
              f.waits_per_exchange(), f.quantile(0.5), f.quantile(0.9), f.quantile(1.0),
              f.quantile(0.5) / wire_ms, f.failed);
}

std::string library_file() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&zarn_rs232_psb_create), &info) == 0 || info.dli_fname == nullptr) {
    return "?";
  }
  return info.dli_fname;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const int per_round = argc > 2 ? std::max(1, std::atoi(argv[2])) : 40;
  Figures ours("library"), libserialport("libserialport"), pyserial("pyserial");
  libserialport.note = own_mount_namespace();
  tavik::test::PacedPeer board({tavik::sim::counted_frame(Bytes(40, 0x11))});
  if (libserialport.note.empty()) libserialport.note = mount_board_over_sysfs_port(board.path());
  tavik::test::ChildProgram python("/usr/bin/python3", {TAVIK_PYSERIAL_CLIENT, board.path()});
  for (int round = 0; round < rounds; ++round) {
    round_ours(ours, board.path(), per_round);
    if (libserialport.note.empty()) round_libserialport(libserialport, kSysfsPortName, per_round);
    if (pyserial.note.empty()) round_pyserial(pyserial, python, per_round);
  }
  python.close_input();
  std::printf(
      "Sar exchange, reply at the line rate on a pseudo-terminal (wire time %.3f ms), %d rounds of %d\n",
      std::chrono::duration<double, std::milli>(kWireTime).count(), rounds, per_round);
  std::printf("library: %s\n", library_file().c_str());
  std::printf("  %-14s %11s %6s %12s %11s %11s %8s %6s\n", "", "CPU/exch", "waits", "median", "p90", "max",
              "/wire", "failed");
  for (const Figures* f : {&ours, &libserialport, &pyserial}) print(*f);
  if (libserialport.cpu_per_exchange() > 0 && pyserial.cpu_per_exchange() > 0) {
    std::printf("library CPU / libserialport %.2f, / pyserial %.2f; the board's latest byte %lld us late\n",
                ours.cpu_per_exchange() / libserialport.cpu_per_exchange(),
                ours.cpu_per_exchange() / pyserial.cpu_per_exchange(),
                static_cast<long long>(board.worst_lateness().count()));
  }
  return ours.failed == 0 && libserialport.failed == 0 && pyserial.failed == 0 ? 0 : 1;
}
