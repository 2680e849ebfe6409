#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "serial/ports/port_lock.h"

namespace tavik {
namespace {

bool locked_by_trying(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;  // held open exclusively
  const bool locked = !take_port_lock(fd) && errno == EWOULDBLOCK;
  ::close(fd);  // also lets go of a lock taken here
  return locked;
}

struct LockEntry {
  bool table_read = false;
  bool locked = false;
  long pid = 0;  // the holder, where the table names one
};

LockEntry lock_in_table(const std::string& device) {
  struct stat st {};
  if (::stat(device.c_str(), &st) != 0) return {true, false, 0};
  std::ifstream table("/proc/locks");
  if (!table) return {};
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                static_cast<unsigned long>(st.st_ino));
  // "1: FLOCK  ADVISORY  WRITE 6736 00:19:3 0 EOF"; a waiter has "->" after the number.
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string id, type, mode, access, where;
    long pid = 0;
    fields >> id >> type;
    if (type == "->") continue;  // waiting for the lock, not holding it
    fields >> mode >> access >> pid >> where;
    if (type == "FLOCK" && where == wanted) return {true, true, pid};
  }
  return {true, false, 0};
}

}  // namespace

bool take_port_lock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

bool port_locked(const std::string& device) {
  if (device.empty()) return false;
  const LockEntry entry = lock_in_table(device);
  return entry.table_read ? entry.locked : locked_by_trying(device);
}

long port_lock_holder(const std::string& device) {
  if (device.empty()) return 0;
  const LockEntry entry = lock_in_table(device);
  return entry.locked ? std::max(entry.pid, 0L) : 0;
}

}  // namespace tavik
