#include "console/qt/system_ports.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

namespace tavik::console {
namespace {

namespace fs = std::filesystem;

// The number of "COM<n>", -1 for any other name.
long com_number(const std::string& name) {
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0) return -1;
  if (!std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; })) return -1;
  return name.size() > 12 ? -1 : std::stol(name.substr(3));
}

}  // namespace

std::vector<SystemPort> system_ports() {
  std::vector<SystemPort> ports;
  std::error_code error;
  const char* dir = std::getenv("TAVIK_COM_DIR");
  std::map<long, std::string> links;
  for (const auto& entry : fs::directory_iterator(dir && *dir ? dir : "/dev/tavik", error)) {
    const std::string name = entry.path().filename().string();
    if (com_number(name) > 0) links.emplace(com_number(name), name);
  }
  for (const auto& [number, name] : links) ports.push_back({name, name});

  std::map<std::string, std::string> by_id;  // device path -> udev's name for it
  for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", error)) {
    const fs::path device = fs::canonical(entry.path(), error);
    if (!error) by_id.emplace(device.string(), entry.path().filename().string());
  }
  std::vector<std::string> adapters;
  for (const auto& entry : fs::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0)
      adapters.push_back(entry.path().string());
  }
  std::sort(adapters.begin(), adapters.end());
  for (const std::string& path : adapters) {
    const auto id = by_id.find(path);
    ports.push_back({path, id == by_id.end() ? path : id->second + " (" + path + ")"});
  }
  return ports;
}

}  // namespace tavik::console
