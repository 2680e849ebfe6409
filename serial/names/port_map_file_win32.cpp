#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/names/port_map_file_system.h"

namespace tavik {

// %APPDATA% is the user's own: no owner to check.
PortsFileLook look_at_ports_file(const std::string& path) {
  namespace fs = std::filesystem;
  PortsFileLook look;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) {
    look.absent = true;
    return look;
  }
  if (error) {
    look.refusal = "cannot be looked at: " + error.message();
    return look;
  }
  if (!fs::is_regular_file(status)) {
    look.refusal = "not a regular file";
    return look;
  }
  look.stamp.size = fs::file_size(path, error);
  const auto modified = fs::last_write_time(path, error);
  if (error) look.refusal = "cannot be looked at: " + error.message();
  look.stamp.modified_ns = static_cast<std::int64_t>(modified.time_since_epoch().count());
  return look;
}

std::string read_ports_file_bytes(const std::string& path, std::string& text, FileStamp&) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot be opened";
  text.resize(kPortsFileMaxBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return "";
}

}  // namespace tavik
