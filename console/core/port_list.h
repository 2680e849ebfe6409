// A board's port list: the entries COM1 to COM20, then the ports the system
// reports that are not among them, then the port used last when it is none
// of those; and the name a Connect opens for what the list shows.
#pragma once

#include <string>
#include <vector>

namespace tavik::console {

// A port the system reports: `name` is what the library opens ("COM23",
// "/dev/ttyUSB0"), `label` what the list shows ("USB Serial Port (COM23)"),
// the name itself when the system gives no friendlier one.
struct SystemPort {
  std::string name;
  std::string label;
};

class PortList {
 public:
  // The entries, in list order: COM1 to COM20, `system` in its order
  // without those already listed, then `last_used` when it is not listed.
  PortList() = default;
  PortList(const std::vector<SystemPort>& system, const std::string& last_used);

  const std::vector<SystemPort>& entries() const { return entries_; }
  // Index of the entry named `name`, -1 when there is none.
  int find(const std::string& name) const;

  // The port a Connect opens: the selected entry's name; with no entry
  // selected the edit field's text as typed (spaces around it dropped, an
  // entry's label standing for its name), and with nothing typed "COM0",
  // the name of no selection.
  std::string port_to_open(int selection, const std::string& typed) const;

 private:
  std::vector<SystemPort> entries_;
};

}  // namespace tavik::console
