// The tavik program run as a child process with its standard output and
// error collected, for tests through the real program.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/processes/child_program.h"

namespace tavik::test {

struct Finished {
  int exit_code = -1;  // -1: still running after the time allowed (then killed)
  std::string out;
  std::string err;
  double seconds = 0;
};

class TavikProcess {
 public:
  // With out_file, the standard output goes to that file (such as /dev/full).
  // With a runner ({"/usr/bin/setpriv", "--reuid=nobody", ...}), the runner
  // starts the program. With input, its standard input is a pipe that
  // type() writes to (else the null device).
  explicit TavikProcess(const std::vector<std::string>& args, const char* out_file = nullptr,
                        const std::vector<std::string>& runner = {}, bool input = false)
      : start_(std::chrono::steady_clock::now()) {
    int out[2], err[2], in[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    if (input && ::pipe2(in, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input)
      posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    else
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (out_file != nullptr)
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_file, O_WRONLY, 0);
    else
      posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (runner.empty()) {
      pid_ = spawn_program(TAVIK_TOOL_PATH, args, actions);
    } else {
      std::vector<std::string> all(runner.begin() + 1, runner.end());
      all.push_back(TAVIK_TOOL_PATH);
      all.insert(all.end(), args.begin(), args.end());
      pid_ = spawn_program(runner.front().c_str(), all, actions);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (input) ::close(in[0]);
    input_ = in[1];
    fds_[0] = out[0];
    fds_[1] = err[0];
    if (out_file != nullptr) close_output();
  }
  ~TavikProcess() {
    kill_child(pid_);
    for (int fd : fds_) {
      if (fd >= 0) ::close(fd);
    }
    if (input_ >= 0) ::close(input_);
  }

  // Writes text to the program's standard input (a process made with input).
  void type(const std::string& text) {
    if (input_ >= 0 && ::write(input_, text.data(), text.size()) < 0) ::close(std::exchange(input_, -1));
  }

  // Collects the output until the program's standard error holds `text`
  // after what earlier waits found, at most `limit`: whether it came.
  bool wait_for_error(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (collected_.err.find(text, err_seen_) == std::string::npos) {
      if (!collect_until(deadline)) return false;
    }
    err_seen_ = collected_.err.find(text, err_seen_) + text.size();
    return true;
  }

  // Ends the program's standard input, as Ctrl-D does.
  void close_input() {
    if (input_ >= 0) ::close(std::exchange(input_, -1));
  }

  void signal(int sig) { ::kill(pid_, sig); }
  pid_t pid() const { return pid_; }

  // Stops reading the program's standard output, as `| head` does when it
  // has its lines: the program's next write finds no reader.
  void close_output() {
    if (fds_[0] >= 0) ::close(fds_[0]);
    fds_[0] = -1;
  }

  // Collects the output until the program ends, at most `limit` from now.
  Finished finish(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    while (fds_[0] >= 0 || fds_[1] >= 0) {
      if (!collect_until(deadline)) return collected_;
    }
    Finished f = collected_;
    int status = 0;
    if (::waitpid(pid_, &status, 0) == pid_) {
      pid_ = -1;
      f.exit_code = exit_code(status);
    }
    f.seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    return f;
  }

 private:
  // Reads what the program wrote next; false when nothing came by deadline
  // or both outputs are closed.
  bool collect_until(std::chrono::steady_clock::time_point deadline) {
    if (fds_[0] < 0 && fds_[1] < 0) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    pollfd p[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    if (left <= 0 || ::poll(p, 2, static_cast<int>(left)) <= 0) return false;
    std::string* sinks[2] = {&collected_.out, &collected_.err};
    for (int i = 0; i < 2; ++i) {
      if (p[i].revents == 0) continue;
      char buf[4096];
      const ssize_t n = ::read(fds_[i], buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        ::close(fds_[i]);
        fds_[i] = -1;
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int fds_[2] = {-1, -1};
  int input_ = -1;
  Finished collected_;
  std::size_t err_seen_ = 0;
  std::chrono::steady_clock::time_point start_;
};

inline Finished run_tavik(const std::vector<std::string>& args, const char* out_file = nullptr,
                          const std::vector<std::string>& runner = {}) {
  return TavikProcess(args, out_file, runner).finish();
}

}  // namespace tavik::test
