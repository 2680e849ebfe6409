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
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

#include "command_input.h"
#include "link_dir.h"
#include "sim_options.h"

using namespace tavik::sim;

int main(int argc, char** argv) {
  SimProgramOptions options;
  if (const std::optional<int> status = parse_sim_options(argc, argv, options)) return *status;

  // Reading or writing the terminal from its background stops a program:
  // rather read nothing (serve_input) and write as any program may.
  ::signal(SIGTTIN, SIG_IGN);
  ::signal(SIGTTOU, SIG_IGN);

  LinkDir links;
  std::string why;
  if (const int failed = links.take(options.simulator.link_dir, why); failed != 0) {
    if (failed == 2) why = "--link-dir " + options.simulator.link_dir + ": " + why;
    std::fprintf(stderr, "tavik-sim: %s\n", why.c_str());
    return failed;
  }
  SimulatorOptions& boards = options.simulator;
  boards.link_dir = links.path();

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
    Simulator sim(boards);
    say("psb  " + boards.psb_name + " -> " + sim.psb_path());
    say("drvb " + boards.drvb_name + " -> " + sim.drvb_path());
    std::unique_ptr<PtyEndpoint> control;
    if (!options.control_name.empty()) {
      control = std::make_unique<PtyEndpoint>();
      control->publish(boards.link_dir, options.control_name);
      say("control " + options.control_name + " -> " + control->slave_path());
    }
    say("export TAVIK_COM_DIR=" + boards.link_dir);
    say("type help for commands; Ctrl-D or Ctrl-C ends");
    serve_input(sim, signal_fd, control.get());
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "tavik-sim: %s\n", e.what());
    status = 1;
  }
  if (signal_fd >= 0) ::close(signal_fd);
  return status;
}
