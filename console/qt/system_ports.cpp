#include "console/qt/system_ports.h"

#include <map>
#include <set>
#include <string>

#include "serial/names/port_path.h"
#include "serial/ports/port_list.h"

namespace tavik::console {

std::vector<SystemPort> system_ports() {
  const std::vector<PortName> listed = list_serial_ports();
  constexpr std::string_view kById = "/dev/serial/by-id/";
  std::map<std::string, std::string> by_id;  // device path -> udev's name for it
  for (const PortName& p : listed) {
    if (p.name.rfind(kById, 0) == 0) by_id.emplace(p.device, p.name.substr(kById.size()));
  }
  std::vector<SystemPort> ports;
  std::vector<SystemPort> adapters;
  std::set<std::string> seen;
  for (const PortName& p : listed) {
    if (com_number(p.name) > 0) {
      ports.push_back({p.name, p.name});
    } else if ((p.device.rfind("/dev/ttyUSB", 0) == 0 || p.device.rfind("/dev/ttyACM", 0) == 0) &&
               seen.insert(p.device).second) {
      const auto id = by_id.find(p.device);
      adapters.push_back({p.device, id == by_id.end() ? p.device : id->second + " (" + p.device + ")"});
    }
  }
  ports.insert(ports.end(), adapters.begin(), adapters.end());
  return ports;
}

}  // namespace tavik::console
