#include "serial/port_map.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>

#include "serial/port_path.h"
#include "serial/port_url.h"

namespace tavik {
namespace {

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// Says a bad line once per process: the files are read at every open.
void report(const std::string& problem) {
  static std::mutex lock;
  static std::set<std::string> reported;
  std::lock_guard<std::mutex> guard(lock);
  if (!reported.insert(problem).second) return;
  std::fprintf(stderr, "tavik: %s; line skipped\n", problem.c_str());
}

// "" for a good line (or one without a mapping), else why it is bad.
std::string parse_line(std::string_view text, PortMapping& mapping) {
  text = trimmed(text);
  if (text.empty() || text.front() == '#') return {};
  const auto equals = text.find('=');
  if (equals == std::string_view::npos)
    return "no '=' (lines are COM<n> = tcp://HOST:PORT or rfc2217://HOST:PORT)";
  mapping.name = std::string(trimmed(text.substr(0, equals)));
  mapping.target = std::string(trimmed(text.substr(equals + 1)));
  if (com_number(mapping.name) < 0) return "'" + mapping.name + "' is not a COM<n> name";
  PortUrl url;
  const std::string why = parse_port_url(mapping.target, url);
  if (!why.empty()) return "'" + mapping.target + "': " + why;
  return {};
}

}  // namespace

std::vector<std::string> port_map_files() {
  std::vector<std::string> files;
#ifdef _WIN32
  const char* appdata = std::getenv("APPDATA");
  if (appdata != nullptr && appdata[0] != '\0') files.push_back(std::string(appdata) + "\\Tavik\\ports");
#else
  files.emplace_back("/etc/tavik/ports");
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') files.push_back(std::string(home) + "/.config/tavik/ports");
#endif
  return files;
}

std::vector<PortMapping> read_port_map(std::vector<std::string>* problems) {
  std::vector<PortMapping> mappings;
  for (const std::string& file : port_map_files()) {
    std::ifstream in(file);
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
      PortMapping mapping;
      const std::string why = parse_line(text, mapping);
      if (!why.empty()) {
        const std::string problem = file + ":" + std::to_string(number) + ": " + why;
        report(problem);
        if (problems != nullptr) problems->push_back(problem);
        continue;
      }
      if (mapping.name.empty()) continue;
      mapping.file = file;
      mapping.line = number;
      bool replaced = false;
      for (PortMapping& earlier : mappings) {
        if (earlier.name == mapping.name) {
          earlier = mapping;
          replaced = true;
        }
      }
      if (!replaced) mappings.push_back(mapping);
    }
  }
  return mappings;
}

std::string mapped_port(std::string_view name) {
  if (com_number(name) < 0) return {};
  for (const PortMapping& mapping : read_port_map()) {
    if (mapping.name == name) return mapping.target;
  }
  return {};
}

}  // namespace tavik
