// A program of the project run as a child process, with its standard input
// and output on pipes, for tests of how it starts and ends.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace tavik::test {

// Starts `program` with `args` and the descriptor set-up in `actions`, which
// it then destroys. The child's pid, or -1.
inline pid_t spawn_program(const char* program, const std::vector<std::string>& args,
                           posix_spawn_file_actions_t& actions) {
  std::vector<char*> argv{const_cast<char*>(program)};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// A waitpid status as a shell gives it: the exit code, or 128 + the signal.
inline int exit_code(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Kills a child that is still running and reaps it.
inline void kill_child(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

class ChildProgram {
 public:
  // With merge_errors, the standard error goes to the same pipe as the output.
  ChildProgram(const char* program, const std::vector<std::string>& args, bool merge_errors = false) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (merge_errors) posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
    pid_ = spawn_program(program, args, actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~ChildProgram() {
    kill_child(pid_);
    close_input();
    if (stdout_ >= 0) ::close(stdout_);
  }

  bool started() const { return pid_ > 0; }
  // The read end of its standard output, for a caller that reads it itself.
  int output() const { return stdout_; }
  void send(const std::string& line) { (void)!::write(stdin_, line.data(), line.size()); }
  void close_input() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }
  void signal(int sig) { ::kill(pid_, sig); }

  // The next line of output, or "" after 5 s without one.
  std::string line() {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    for (;;) {
      const auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string l = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return l;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd p{stdout_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return "";
      char buf[256];
      const ssize_t n = ::read(stdout_, buf, sizeof buf);
      if (n <= 0) return "";
      buffer_.append(buf, static_cast<std::size_t>(n));
    }
  }
  // Lines until one starts with prefix; that one, or "".
  std::string line_starting(const std::string& prefix) {
    for (std::string l = line(); !l.empty() || !buffer_.empty(); l = line()) {
      if (l.rfind(prefix, 0) == 0) return l;
    }
    return "";
  }

  // The exit status, or -1 when it has not ended within the time given.
  int wait(std::chrono::seconds timeout = std::chrono::seconds(5)) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return exit_code(status);
      }
      ::usleep(10000);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  std::string buffer_;
};

}  // namespace tavik::test
