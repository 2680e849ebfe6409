#include "serial/names/port_map_file.h"

#include "serial/names/port_map_file_system.h"

namespace tavik {
namespace {

PortsFileRead refused(std::string why) {
  PortsFileRead read;
  read.outcome = PortsFileRead::Outcome::kRefused;
  read.why = std::move(why);
  return read;
}

}  // namespace

PortsFileRead read_ports_file(const std::string& path, const FileStamp* known) {
  PortsFileLook look = look_at_ports_file(path);
  if (look.absent) return {};
  if (look.refusal.empty() && look.stamp.size > kPortsFileMaxBytes) look.refusal = ports_file_too_large();
  if (!look.refusal.empty()) return refused(look.refusal);
  PortsFileRead read;
  read.stamp = look.stamp;
  if (known != nullptr && *known == read.stamp) {
    read.outcome = PortsFileRead::Outcome::kUnchanged;
    return read;
  }
  if (std::string why = read_ports_file_bytes(path, read.text, read.stamp); !why.empty()) return refused(why);
  // The file grew since it was looked at.
  if (read.text.size() > kPortsFileMaxBytes) return refused(ports_file_too_large());
  read.outcome = PortsFileRead::Outcome::kRead;
  return read;
}

}  // namespace tavik
