#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "output_target_system.h"

namespace tavik::cli {

OutputTarget output_failed(OutputFault fault, std::string detail) {
  OutputTarget target;
  target.fault = fault;
  target.detail = std::move(detail);
  return target;
}

OutputTarget output_system_failure(int error) {
  return output_failed(OutputFault::kSystem, std::strerror(error));
}

OutputTarget output_stream(int fd) {
  std::FILE* file = stream_on(fd);
  if (file == nullptr) return output_system_failure(errno);
  OutputTarget target;
  target.file = file;
  return target;
}

OutputTarget open_temporary(const std::string& path) {
  const auto end = path.find_last_of(kFolderSeparators);
  const std::string folder = end == std::string::npos ? "" : path.substr(0, end + 1);
  const std::string name = end == std::string::npos ? path : path.substr(end + 1);
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "%06x", static_cast<unsigned>(random()) & 0xffffffu);
    const std::string temporary = folder + "." + name + "." + suffix;
    const int fd = create_new_file(temporary);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return output_system_failure(errno);
    OutputTarget target = output_stream(fd);
    if (target.file == nullptr)
      drop_output(temporary);
    else
      target.temporary = temporary;
    return target;
  }
  return output_system_failure(EEXIST);
}

}  // namespace tavik::cli
