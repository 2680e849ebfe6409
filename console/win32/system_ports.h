// The serial ports Windows reports: every name under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM in number order, each labelled with
// its device's friendly name ("USB Serial Port (COM23)") where the Ports
// device class gives one.
#pragma once

#include <vector>

#include "console/core/port_list.h"

namespace tavik::console {

std::vector<SystemPort> system_ports();

}  // namespace tavik::console
