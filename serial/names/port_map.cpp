#include "serial/names/port_map.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>

#include "serial/names/port_map_file.h"
#include "serial/names/port_path.h"
#include "serial/names/port_url.h"

namespace tavik {
namespace {

// Bad lines said on standard error per reading of a file; the rest are
// counted in one more line.
constexpr int kReportedLines = 20;

// A piece of a line as a message quotes it: printable ASCII, at most 80
// characters, so that a file of another kind cannot fill or steer the
// terminal.
std::string quoted(std::string_view text) {
  constexpr std::size_t kMost = 80;
  std::string out = "'";
  for (std::size_t i = 0; i < text.size() && i < kMost; ++i) {
    const char c = text[i];
    out += c >= 0x20 && c < 0x7F ? c : '?';
  }
  return out + (text.size() > kMost ? "...'" : "'");
}

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// "" for a COM<n> name as the libraries take it, else why not.
std::string com_name_problem(const std::string& name) {
  if (com_number(name) < 0) return quoted(name) + " is not a COM<n> name";
  if (com_number(name) == 0) return quoted(name) + ": COM numbers start at 1";
  if (name[3] == '0')
    return quoted(name) + " has a leading zero (COM" + std::to_string(com_number(name)) + ")";
  return "";
}

// "" for a good line (or one without a mapping), else why it is bad.
std::string parse_line(std::string_view text, PortMapping& mapping) {
  if (const auto hash = text.find('#'); hash != std::string_view::npos) text = text.substr(0, hash);
  text = trimmed(text);
  if (text.empty()) return {};
  const auto equals = text.find('=');
  if (equals == std::string_view::npos)
    return "no '=' (lines are COM<n> = tcp://HOST:PORT or rfc2217://HOST:PORT)";
  mapping.name = std::string(trimmed(text.substr(0, equals)));
  mapping.target = std::string(trimmed(text.substr(equals + 1)));
  if (std::string why = com_name_problem(mapping.name); !why.empty()) return why;
  PortUrl url;
  const std::string why = parse_port_url(mapping.target, url);
  if (!why.empty()) return quoted(mapping.target) + ": " + why;
  return {};
}

// One ports file as last read.
struct FileState {
  FileStamp stamp;
  bool read = false;                                     // stamp is that of a file read or refused
  std::vector<PortMapping> mappings;                     // one per name, in the order first named
  std::unordered_map<std::string, std::size_t> by_name;  // into mappings
  std::vector<std::string> problems;                     // "FILE:LINE: why" or "FILE: why"
};

// Says a problem once per process, however often its file is read again.
void report(const std::string& problem, const char* consequence) {
  static std::mutex lock;
  static std::set<std::string> reported;
  std::lock_guard<std::mutex> guard(lock);
  if (!reported.insert(problem).second) return;
  std::fprintf(stderr, "tavik: %s; %s\n", problem.c_str(), consequence);
}

void parse_file(const std::string& file, std::string_view text, FileState& state) {
  int number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    PortMapping mapping;
    std::string why = number == 1 && line.substr(0, 3) == "\xEF\xBB\xBF"
                          ? "starts with a UTF-8 byte order mark (save the file without one)"
                          : parse_line(line, mapping);
    if (!why.empty()) {
      state.problems.push_back(file + ":" + std::to_string(number) + ": " + why);
      continue;
    }
    if (mapping.name.empty()) continue;
    mapping.file = file;
    mapping.line = number;
    const auto [at, added] = state.by_name.try_emplace(mapping.name, state.mappings.size());
    if (added)
      state.mappings.push_back(std::move(mapping));
    else
      state.mappings[at->second] = std::move(mapping);
  }
  const int bad = static_cast<int>(state.problems.size());
  for (int i = 0; i < bad && i < kReportedLines; ++i) report(state.problems[i], "line skipped");
  if (bad > kReportedLines)
    report(file + ": " + std::to_string(bad - kReportedLines) + " more bad lines", "not shown");
}

// Brings the state of file up to date: read again only when it changed.
void refresh(const std::string& file, FileState& state) {
  const PortsFileRead got = read_ports_file(file, state.read ? &state.stamp : nullptr);
  if (got.outcome == PortsFileRead::Outcome::kUnchanged) return;
  state = FileState{};
  state.stamp = got.stamp;
  state.read = got.outcome != PortsFileRead::Outcome::kAbsent;
  if (got.outcome == PortsFileRead::Outcome::kRefused) {
    state.problems.push_back(file + ": " + got.why);
    report(state.problems.back(), "file not read");
  } else if (got.outcome == PortsFileRead::Outcome::kRead) {
    parse_file(file, got.text, state);
  }
}

// Every ports file as last read, by name; its lock held while one is used.
struct Files {
  std::mutex lock;
  std::map<std::string, FileState> by_path;
};

Files& files() {
  static Files instance;
  return instance;
}

// The states of the files in the order they are read, up to date. Called
// with files().lock held.
std::vector<const FileState*> current_files() {
  std::vector<const FileState*> states;
  for (const std::string& file : port_map_files()) {
    FileState& state = files().by_path[file];
    refresh(file, state);
    states.push_back(&state);
  }
  return states;
}

}  // namespace

std::vector<std::string> port_map_files() {
  std::vector<std::string> files;
  // Names are the simulator's (or the link folder's) alone.
  if (com_dir_set()) return files;
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
  std::lock_guard<std::mutex> guard(files().lock);
  std::vector<PortMapping> mappings;
  std::unordered_map<std::string, std::size_t> by_name;
  for (const FileState* state : current_files()) {
    if (problems != nullptr)
      problems->insert(problems->end(), state->problems.begin(), state->problems.end());
    for (const PortMapping& mapping : state->mappings) {
      const auto [at, added] = by_name.try_emplace(mapping.name, mappings.size());
      if (added)
        mappings.push_back(mapping);
      else
        mappings[at->second] = mapping;
    }
  }
  return mappings;
}

std::string mapped_port(std::string_view name) {
  if (com_number(name) < 0) return {};
  std::lock_guard<std::mutex> guard(files().lock);
  const std::vector<const FileState*> states = current_files();
  // The last file that names it wins.
  for (auto state = states.rbegin(); state != states.rend(); ++state) {
    const auto found = (*state)->by_name.find(std::string(name));
    if (found != (*state)->by_name.end()) return (*state)->mappings[found->second].target;
  }
  return {};
}

std::string port_target(std::string_view name) {
  if (std::string target = mapped_port(name); !target.empty()) return target;
  if (is_port_url(name)) return std::string(name);
  return resolve_port_path(std::string(name).c_str());
}

}  // namespace tavik
