// An interactive bash in a terminal of tmux's, for a recipe that must work
// as a person types it: job control, a terminal's foreground and background
// (`prog &` is stopped when it reads the terminal), what the screen shows.
// Each shell has a tmux server of its own, ended with it.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/processes/child_program.h"

namespace tavik::test {

class InteractiveShell {
 public:
  // bash with HOME `home` (also where it starts), PATH `path` and the prompt "$ ".
  InteractiveShell(const std::string& home, const std::string& path)
      : server_("tavik-test-" + std::to_string(::getpid()) + "-" + std::to_string(++count())) {
    started_ = tmux({"new-session", "-d", "-x", "200", "-y", "60", "-c", home, "env", "-i", "HOME=" + home,
                     "PATH=" + path, "TERM=xterm", "PS1=$ ",
                     // No history written into HOME as the shell ends, while its test removes HOME.
                     "HISTFILE=/dev/null", "bash", "--norc", "--noprofile", "-i"}) == 0;
  }
  ~InteractiveShell() { tmux({"kill-server"}); }
  InteractiveShell(const InteractiveShell&) = delete;
  InteractiveShell& operator=(const InteractiveShell&) = delete;

  bool started() const { return started_; }

  // Types the line and Enter.
  void type(const std::string& line) {
    tmux({"send-keys", "-t", "0", "-l", "--", line});
    tmux({"send-keys", "-t", "0", "Enter"});
  }

  // What the terminal shows, with the lines scrolled away.
  std::string screen() {
    std::string out;
    tmux({"capture-pane", "-p", "-J", "-S", "-", "-t", "0"}, &out);
    return out;
  }

  // Waits until the screen shows `text` `times` times, at most `limit`.
  bool wait_for(const std::string& text, int times, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      const std::string now = screen();
      int seen = 0;
      for (std::size_t at = now.find(text); at != std::string::npos; at = now.find(text, at + 1)) ++seen;
      if (seen >= times) return true;
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

 private:
  static int& count() {
    static int n = 0;
    return n;
  }

  // Runs tmux on this shell's server; its exit status, its output in *out.
  int tmux(std::vector<std::string> args, std::string* out = nullptr) {
    args.insert(args.begin(), {"-L", server_, "-f", "/dev/null"});
    int pipe_fds[2] = {-1, -1};
    if (out != nullptr && ::pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Only a command whose output is read gets a pipe: the server it may start keeps none.
    if (out != nullptr)
      posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    else
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const pid_t pid = spawn_program("/usr/bin/tmux", args, actions);
    if (out != nullptr) {
      ::close(pipe_fds[1]);
      char buf[4096];
      for (ssize_t n; (n = ::read(pipe_fds[0], buf, sizeof buf)) > 0;)
        out->append(buf, static_cast<std::size_t>(n));
      ::close(pipe_fds[0]);
    }
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return exit_code(status);
  }

  std::string server_;
  bool started_ = false;
};

}  // namespace tavik::test
