// The serial ports this Linux system has beside the lists' COM1 to COM20, from
// the ports the libraries list (serial/port_list.h):
// the COM<n> links that the libraries resolve ($TAVIK_COM_DIR, else
// /dev/tavik), then the USB adapters (/dev/ttyUSB*, /dev/ttyACM*), each
// labelled with its /dev/serial/by-id name where udev gives one.
#pragma once

#include <vector>

#include "console/core/port_list.h"

namespace tavik::console {

std::vector<SystemPort> system_ports();

}  // namespace tavik::console
