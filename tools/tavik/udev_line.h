// The line of the udev rule 99-tavik-com.rules that would publish a USB
// adapter under a board's COM name.
#pragma once

#include <string>

#include "command_error.h"
#include "serial/ports/port_list.h"

namespace tavik::cli {

// The line of the udev rule 99-tavik-com.rules that would publish the
// adapter under the board's COM name, as the rule's own line for that board
// with this adapter's ids; "" when the adapter has no serial number to
// tell it by.
std::string udev_line(const UsbAdapter& usb, Board board);

}  // namespace tavik::cli
