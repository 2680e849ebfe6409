// tavik-sim: both substitute boards on pseudo-terminals, published as COM<n>
// links, changed while running by commands on the standard input.
//
//   tavik-sim [--psb COM7] [--drvb COM8] [--control COMn] [--link-dir DIR] [--pace] [--seed N]
//   tavik-sim --help | --version
//
// --control publishes a third pseudo-terminal that takes the same commands
// as the standard input and answers on the same line, for programs that
// reach the simulator only through a serial port (a test under Wine).
// Without --link-dir the links go to a new private directory, removed at exit;
// a --link-dir that does not exist is made, and removed at exit when empty.
// Ctrl-C, SIGTERM and the end of the input end it, removing its links. Run
// in the background of a terminal (`tavik-sim &`), it reads no commands from
// the terminal until it is brought to the foreground (`fg`).
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
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
#include <vector>

#include "sim/line/pty_endpoint.h"
#include "sim/simulator.h"
#include "tavik_version.h"

namespace {

// Longest command line taken; a longer one is answered with an error.
constexpr std::size_t kMaxLine = 1024;

void say(const std::string& text) {
  if (text.empty()) return;
  std::fputs(text.c_str(), stdout);
  if (text.back() != '\n') std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Splits a byte stream into command lines; a line longer than kMaxLine is
// answered with an error.
class LineSplitter {
 public:
  template <class Answer>
  void feed(const char* bytes, ssize_t n, tavik::sim::Simulator& sim, Answer&& answer) {
    for (ssize_t i = 0; i < n; ++i) {
      if (bytes[i] == '\r') continue;
      if (bytes[i] != '\n') {
        if (line_.size() < kMaxLine)
          line_ += bytes[i];
        else
          overlong_ = true;
        continue;
      }
      answer(overlong_ ? "error: line too long" : sim.execute(line_));
      line_.clear();
      overlong_ = false;
    }
  }
  // The last line, when the input ended without a newline.
  std::string rest() const { return overlong_ ? std::string() : line_; }

 private:
  std::string line_;
  bool overlong_ = false;
};

// Writes an answer to the control port, as one line per answer line.
void answer_on(int master_fd, const std::string& text) {
  std::string out = text;
  if (out.empty() || out.back() != '\n') out += '\n';
  std::size_t sent = 0;
  while (sent < out.size()) {
    const ssize_t n = ::write(master_fd, out.data() + sent, out.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    pollfd p{master_fd, POLLOUT, 0};
    if (n < 0 && errno == EAGAIN && ::poll(&p, 1, 1000) > 0) continue;
    return;  // nobody reads the control port: the answer is lost
  }
}

// How often a simulator in the background of its terminal looks whether it
// was brought to the foreground.
constexpr int kForegroundLookMs = 250;

// Whether the standard input is a terminal whose foreground is another
// process group (`tavik-sim &` in an interactive shell): reading it would
// stop the program (SIGTTIN), and what is typed there is the shell's.
bool terminal_elsewhere() {
  if (::isatty(STDIN_FILENO) == 0) return false;
  const pid_t foreground = ::tcgetpgrp(STDIN_FILENO);
  return foreground > 0 && foreground != ::getpgrp();
}

// Reads command lines from the standard input and, when there is one, from
// the control port until the input's end or a signal on signal_fd, running
// each on the simulator. Answers go where the command came from. While its
// terminal's foreground is another program's, the standard input is left
// alone and looked at again every kForegroundLookMs.
void serve_input(tavik::sim::Simulator& sim, int signal_fd, const tavik::sim::PtyEndpoint* control) {
  LineSplitter input_lines;
  LineSplitter control_lines;
  const int control_fd = control != nullptr ? control->master_fd() : -1;
  for (;;) {
    const bool background = terminal_elsewhere();
    pollfd fds[3] = {
        {signal_fd, POLLIN, 0}, {control_fd, POLLIN, 0}, {background ? -1 : STDIN_FILENO, POLLIN, 0}};
    if (::poll(fds, 3, background ? kForegroundLookMs : -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents & POLLIN) return;
    char chunk[512];
    if (fds[1].revents & POLLIN) {
      const ssize_t n = ::read(control_fd, chunk, sizeof chunk);
      control_lines.feed(chunk, n, sim, [&](const std::string& text) { answer_on(control_fd, text); });
    }
    if (!(fds[2].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
    // EIO: moved to the background between the look and the read (SIGTTIN is ignored).
    if (n < 0 && (errno == EINTR || errno == EIO)) continue;
    if (n <= 0) break;
    input_lines.feed(chunk, n, sim, say);
  }
  if (!input_lines.rest().empty()) say(sim.execute(input_lines.rest()));
}

// Makes the link directory and those above it that are missing, noting
// each one made; false, with why, when dir is not a directory and cannot
// be made.
bool make_link_dir(const std::string& dir, std::vector<std::filesystem::path>& made, std::string& why) {
  const std::filesystem::path path = std::filesystem::absolute(dir).lexically_normal();
  std::filesystem::path at;
  for (const auto& part : path) {
    at /= part;
    if (part.empty()) continue;  // the trailing separator of "dir/"
    struct stat st {};
    if (::stat(at.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) continue;
      why = at.string() + " is not a directory";
      return false;
    }
    if (errno == ENOENT && ::mkdir(at.c_str(), 0777) == 0) {
      made.push_back(at);
      continue;
    }
    if (errno == EEXIST && ::stat(at.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;  // made meanwhile
    why = "cannot make " + at.string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"tavik-sim: substitute power & sensor board and drive board on pseudo-terminals", "tavik-sim"};
  app.set_version_flag("--version", std::string("tavik-sim ") + TAVIK_VERSION);
  app.footer(std::string("The standard input (and the --control line) takes one command a line.\n") +
             tavik::sim::command_help() +
             "To record a drive for Foxglove or PlotJuggler: 'tavik-sim --link-dir ~/tavik-sim &', "
             "'export TAVIK_COM_DIR=~/tavik-sim', 'tavik drvb servo on', then "
             "'tavik watch --duration 10 --mcap run.mcap --drive 200 200 --for 5'; in the background it "
             "reads no commands until 'fg'.\n"
             "Exit status: 0 after the end of input or a signal, 1 when the "
             "boards could not start, 2 for a usage error.");
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
                 "directory for the COM<n> links, made when it does not exist (default: a new private "
                 "one)");
  std::string control_name;
  app.add_option("--control", control_name,
                 "port name of a line that takes commands, like the standard input")
      ->check(com_name);
  app.add_flag("--pace", options.pace, "send replies at the line rate of 115200 baud");
  app.add_option("--seed", options.seed, "seed of the random choices")->capture_default_str();
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help, --version
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "tavik-sim: %s\nRun 'tavik-sim --help' for more information.\n", e.what());
    return 2;
  }
  if (options.psb_name == options.drvb_name || control_name == options.psb_name ||
      control_name == options.drvb_name) {
    std::fprintf(stderr, "tavik-sim: --psb, --drvb and --control need different names\n");
    return 2;
  }

  // Reading or writing the terminal from its background stops a program:
  // rather read nothing (serve_input) and write as any program may.
  ::signal(SIGTTIN, SIG_IGN);
  ::signal(SIGTTOU, SIG_IGN);

  std::string private_dir;
  std::vector<std::filesystem::path> made;  // the directories made for --link-dir, outermost first
  if (!options.link_dir.empty()) {
    std::string why;
    if (!make_link_dir(options.link_dir, made, why)) {
      std::fprintf(stderr, "tavik-sim: --link-dir %s: %s\n", options.link_dir.c_str(), why.c_str());
      return 2;
    }
  } else {
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
    std::unique_ptr<tavik::sim::PtyEndpoint> control;
    if (!control_name.empty()) {
      control = std::make_unique<tavik::sim::PtyEndpoint>();
      control->publish(options.link_dir, control_name);
      say("control " + control_name + " -> " + control->slave_path());
    }
    say("export TAVIK_COM_DIR=" + options.link_dir);
    say("type help for commands; Ctrl-D or Ctrl-C ends");
    serve_input(sim, signal_fd, control.get());
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "tavik-sim: %s\n", e.what());
    status = 1;
  }
  if (signal_fd >= 0) ::close(signal_fd);
  std::error_code ignored;
  if (!private_dir.empty()) std::filesystem::remove(private_dir, ignored);
  // Those it made, when the links were the only thing in them.
  for (auto dir = made.rbegin(); dir != made.rend(); ++dir) std::filesystem::remove(*dir, ignored);
  return status;
}
