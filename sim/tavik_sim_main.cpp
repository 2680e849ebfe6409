// tavik-sim: both substitute boards on pseudo-terminals, published as COM<n>
// links, changed while running by commands on the standard input.
//
//   tavik-sim [--psb COM7] [--drvb COM8] [--link-dir DIR] [--pace] [--seed N]
//
// Without --link-dir the links go to a new private directory, removed at exit.
// Ctrl-C, SIGTERM and the end of the input end it, removing its links.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <system_error>

#include "sim/simulator.h"

namespace {

// Longest command line taken; a longer one is answered with an error.
constexpr std::size_t kMaxLine = 1024;

void say(const std::string& text) {
  if (text.empty()) return;
  std::fputs(text.c_str(), stdout);
  if (text.back() != '\n') std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Reads command lines from the standard input until its end or a signal in
// `signals`, running each on the simulator.
void serve_input(tavik::sim::Simulator& sim, int signal_fd) {
  std::string line;
  bool overlong = false;
  for (;;) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signal_fd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents & POLLIN) return;
    if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char chunk[512];
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      if (chunk[i] != '\n') {
        if (line.size() < kMaxLine)
          line += chunk[i];
        else
          overlong = true;
        continue;
      }
      say(overlong ? "error: line too long" : sim.execute(line));
      line.clear();
      overlong = false;
    }
  }
  if (!line.empty() && !overlong) say(sim.execute(line));
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Substitute power & sensor board and drive board on pseudo-terminals"};
  tavik::sim::SimulatorOptions options;
  const auto com_name = CLI::Validator(
      [](std::string& name) {
        return std::regex_match(name, std::regex("COM[0-9]{1,6}")) ? std::string() : "expected COM<n>";
      },
      "COM<n>");
  app.add_option("--psb", options.psb_name, "port name of the power & sensor board")
      ->capture_default_str()
      ->check(com_name);
  app.add_option("--drvb", options.drvb_name, "port name of the drive board")
      ->capture_default_str()
      ->check(com_name);
  app.add_option("--link-dir", options.link_dir,
                 "directory for the COM<n> links (default: a new private one)")
      ->check(CLI::ExistingDirectory);
  app.add_flag("--pace", options.pace, "send replies at the line rate of 115200 baud");
  app.add_option("--seed", options.seed, "seed of the random choices")->capture_default_str();
  CLI11_PARSE(app, argc, argv);
  if (options.psb_name == options.drvb_name) {
    std::fprintf(stderr, "tavik-sim: --psb and --drvb need different names\n");
    return 2;
  }

  std::string private_dir;
  if (options.link_dir.empty()) {
    std::string pattern = (std::filesystem::temp_directory_path() / "tavik-sim.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::fprintf(stderr, "tavik-sim: cannot make a link directory: %s\n", std::strerror(errno));
      return 1;
    }
    private_dir = options.link_dir = pattern;
  }
  options.link_dir = std::filesystem::absolute(options.link_dir).string();

  // The signals are taken through a descriptor; blocking them before the
  // boards start keeps them off the boards' threads.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int signal_fd = ::signalfd(-1, &signals, SFD_CLOEXEC);

  int status = 0;
  try {
    tavik::sim::Simulator sim(options);
    say("psb  " + options.psb_name + " -> " + sim.psb_path());
    say("drvb " + options.drvb_name + " -> " + sim.drvb_path());
    say("export TAVIK_COM_DIR=" + options.link_dir);
    say("type help for commands; Ctrl-D or Ctrl-C ends");
    serve_input(sim, signal_fd);
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "tavik-sim: %s\n", e.what());
    status = 1;
  }
  if (signal_fd >= 0) ::close(signal_fd);
  if (!private_dir.empty()) {
    std::error_code ignored;
    std::filesystem::remove(private_dir, ignored);
  }
  return status;
}
