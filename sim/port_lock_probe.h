// Tells whether some process holds a device open with the lock the libraries
// take on their ports (flock, exclusive).
#pragma once

#include <string>

namespace tavik::sim {

// Reads the kernel's lock table, so the probe itself never takes the lock
// and cannot make a client's open fail. Where the table cannot be read it
// tries the lock itself and lets go at once.
bool port_locked(const std::string& device_path);

// The process that holds that lock, by the kernel's lock table: its pid, or
// 0 when none holds it or the table cannot be read.
long port_lock_holder(const std::string& device_path);

}  // namespace tavik::sim
