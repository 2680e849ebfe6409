// The lock with which the libraries hold a port, and how another program
// sees it without disturbing the holder.
//
// POSIX: an exclusive flock on the open device. TIOCEXCL keeps other users
// out as well, but root ignores it; the lock holds for everyone.
// Windows: the port is opened with no sharing; that open is the lock.
#pragma once

#include <string>

namespace tavik {

// POSIX: takes the lock on an open device, without waiting; false (errno
// set) when another descriptor holds it.
bool take_port_lock(int fd);

// True when some process holds the device with the libraries' lock. POSIX:
// read from the kernel's lock table, so the probe never takes the lock and
// cannot make a client's open fail; where the table cannot be read it tries
// the lock itself and lets go at once. Windows: an open of the port that is
// refused as in use.
bool port_locked(const std::string& device);

// The process that holds that lock: its pid by the kernel's lock table, or
// 0 when none holds it or the system does not tell.
long port_lock_holder(const std::string& device);

}  // namespace tavik
