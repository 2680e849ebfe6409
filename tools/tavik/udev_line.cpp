#include "udev_line.h"

#include "udev_rule_lines.h"

namespace tavik::cli {
namespace {

// The value in `line` after `key` ("ATTRS{serial}==\"") up to its closing
// quote replaced by value.
void set_value(std::string& line, const std::string& key, const std::string& value) {
  const std::size_t start = line.find(key);
  if (start == std::string::npos) return;
  const std::size_t from = start + key.size();
  line.replace(from, line.find('"', from) - from, value);
}

}  // namespace

std::string udev_line(const UsbAdapter& usb, Board board) {
  if (usb.serial.empty() || usb.serial.find('"') != std::string::npos) return "";
  std::string line = board == Board::kPsb ? kPsbUdevLine : kDrvbUdevLine;
  set_value(line, "ATTRS{idVendor}==\"", usb.vendor);
  set_value(line, "ATTRS{serial}==\"", usb.serial);
  return line;
}

}  // namespace tavik::cli
