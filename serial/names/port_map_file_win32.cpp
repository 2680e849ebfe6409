#include <filesystem>
#include <fstream>
#include <system_error>

#include "serial/names/port_map_file.h"

namespace tavik {
namespace {

PortsFileRead refused(std::string why) {
  PortsFileRead read;
  read.outcome = PortsFileRead::Outcome::kRefused;
  read.why = std::move(why);
  return read;
}

}  // namespace

// %APPDATA% is the user's own: no owner to check.
PortsFileRead read_ports_file(const std::string& path, const FileStamp* known) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) return {};
  if (error) return refused("cannot be looked at: " + error.message());
  if (!fs::is_regular_file(status)) return refused("not a regular file");
  const std::uintmax_t size = fs::file_size(path, error);
  const auto modified = fs::last_write_time(path, error);
  if (error) return refused("cannot be looked at: " + error.message());
  if (size > kPortsFileMaxBytes) return refused(ports_file_too_large());
  PortsFileRead read;
  read.stamp.size = size;
  read.stamp.modified_ns = static_cast<std::int64_t>(modified.time_since_epoch().count());
  if (known != nullptr && *known == read.stamp) {
    read.outcome = PortsFileRead::Outcome::kUnchanged;
    return read;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return refused("cannot be opened");
  read.text.resize(kPortsFileMaxBytes + 1);
  in.read(read.text.data(), static_cast<std::streamsize>(read.text.size()));
  read.text.resize(static_cast<std::size_t>(in.gcount()));
  if (read.text.size() > kPortsFileMaxBytes) return refused(ports_file_too_large());
  read.outcome = PortsFileRead::Outcome::kRead;
  return read;
}

}  // namespace tavik
