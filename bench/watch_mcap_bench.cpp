// What --mcap costs tavik watch: the tool's CPU (user + system, from the
// kernel's accounting of the child) over a watch of the simulator, without
// a recording, with --csv and with --mcap, at the default rate and at the
// highest, and the MCAP file's size per minute.
//
//   watch_mcap_bench            20 s a run (TAVIK_WATCH_S to change it)
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/simulator.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Run {
  double cpu_s = -1;
  std::uintmax_t bytes = 0;
};

Run watch(const std::vector<std::string>& extra, double seconds, const std::string& rate,
          const fs::path& file) {
  std::vector<std::string> args{TAVIK_TOOL_PATH,        "watch", "--rate", rate, "--duration",
                                std::to_string(seconds)};
  args.insert(args.end(), extra.begin(), extra.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  Run run;
  if (::posix_spawn(&pid, TAVIK_TOOL_PATH, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0)
      run.cpu_s = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  }
  posix_spawn_file_actions_destroy(&actions);
  std::error_code ignored;
  if (!file.empty()) {
    run.bytes = fs::file_size(file, ignored);
    fs::remove(file, ignored);
  }
  return run;
}

}  // namespace

int main() {
  const char* env = std::getenv("TAVIK_WATCH_S");
  const double seconds = env != nullptr ? std::atof(env) : 20;
  char pattern[] = "/tmp/tavik-watch-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const fs::path dir = pattern;
  tavik::sim::Simulator sim(tavik::sim::SimulatorOptions{dir.string()});
  ::setenv("TAVIK_COM_DIR", dir.c_str(), 1);
  std::printf("tavik watch of the simulator, %.0f s a run: CPU of the tool (user + system)\n", seconds);
  std::printf("%-6s %-8s %12s %14s\n", "rate", "output", "CPU %", "file per min");
  for (const char* rate : {"5", "50"}) {
    const fs::path csv = dir / "run.csv", mcap = dir / "run.mcap";
    const struct {
      const char* name;
      std::vector<std::string> extra;
      fs::path file;
    } cases[] = {
        {"none", {}, {}}, {"csv", {"--csv", csv.string()}, csv}, {"mcap", {"--mcap", mcap.string()}, mcap}};
    for (const auto& c : cases) {
      const Run r = watch(c.extra, seconds, rate, c.file);
      if (r.cpu_s < 0) {
        std::printf("%-6s %-8s failed\n", rate, c.name);
        continue;
      }
      std::printf("%-6s %-8s %12.2f %11.0f KB\n", rate, c.name, 100 * r.cpu_s / seconds,
                  static_cast<double>(r.bytes) / 1000 * 60 / seconds);
    }
  }
  fs::remove_all(dir);
  return 0;
}
