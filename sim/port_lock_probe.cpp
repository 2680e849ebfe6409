#include "sim/port_lock_probe.h"

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

namespace tavik::sim {
namespace {

bool locked_by_trying(const std::string& device_path) {
  const int fd = ::open(device_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;  // held open exclusively
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);  // also lets go of a lock taken here
  return locked;
}

struct LockEntry {
  bool table_read = false;
  bool locked = false;
  long pid = 0;  // the holder, where the table names one
};

LockEntry lock_in_table(const std::string& device_path) {
  struct stat st {};
  if (::stat(device_path.c_str(), &st) != 0) return {true, false, 0};
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

bool port_locked(const std::string& device_path) {
  if (device_path.empty()) return false;
  const LockEntry entry = lock_in_table(device_path);
  return entry.table_read ? entry.locked : locked_by_trying(device_path);
}

long port_lock_holder(const std::string& device_path) {
  if (device_path.empty()) return 0;
  const LockEntry entry = lock_in_table(device_path);
  return entry.locked ? std::max(entry.pid, 0L) : 0;
}

}  // namespace tavik::sim
