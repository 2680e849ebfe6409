// tavik-sim as a program: it publishes its links, the library finds the
// boards through TAVIK_COM_DIR, it answers commands on its standard input,
// and it ends cleanly on end of input or a signal, removing its links.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tavik/zarn_rs232.h"

extern char** environ;

namespace tavik::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class SimProgram {
 public:
  explicit SimProgram(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(TAVIK_SIM_PROGRAM)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, TAVIK_SIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~SimProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    close_input();
    if (stdout_ >= 0) ::close(stdout_);
  }

  bool started() const { return pid_ > 0; }
  void send(const std::string& line) { (void)!::write(stdin_, line.data(), line.size()); }
  void close_input() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }
  void signal(int sig) { ::kill(pid_, sig); }

  // The next line of output, or "" after 5 s without one.
  std::string line() {
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

  // The exit status, or -1 when it has not ended within 5 s.
  int wait() {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

TEST(TavikSim, PublishesAnswersAndEndsCleanly) {
  enum class End { kEndOfInput, kInterrupt, kTerminate };
  for (End end : {End::kEndOfInput, End::kInterrupt, End::kTerminate}) {
    char pattern[] = "/tmp/tavik-sim-test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    SimProgram sim({"--link-dir", dir.string(), "--psb", "COM3", "--drvb", "COM4", "--seed", "5"});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.line_starting("export "), "export TAVIK_COM_DIR=" + dir.string());
    EXPECT_TRUE(fs::is_symlink(dir / "COM3"));
    EXPECT_TRUE(fs::is_symlink(dir / "COM4"));

    ::setenv("TAVIK_COM_DIR", dir.c_str(), 1);
    ASSERT_EQ(zarn_rs232_psb_create("COM3", 200), 0);
    ASSERT_EQ(zarn_rs232_drvb_create("COM4", 200), 0);
    psb_power_data power{};
    EXPECT_EQ(zarn_rs232_psb_read_power(&power), 0);
    EXPECT_EQ(power.drive_state, 1);
    sim.send("emg on\n");
    EXPECT_EQ(sim.line_starting("ok:"), "ok: emergency stop on");
    int left = -1, right = -1, emergency = -1;
    EXPECT_EQ(zarn_rs232_drvb_read_bumper_emg(&left, &right, &emergency), 0);
    EXPECT_EQ(emergency, 1);
    sim.send("status\n");
    const std::string status_line = sim.line_starting("psb: /");
    EXPECT_NE(status_line.find("attached"), std::string::npos) << status_line;
    EXPECT_NE(status_line.find("PDR=1"), std::string::npos) << status_line;
    sim.send("fault psb Sar nonsense\n");
    EXPECT_EQ(sim.line_starting("error:"), "error: unknown fault kind nonsense");
    zarn_rs232_psb_destroy();
    zarn_rs232_drvb_destroy();

    switch (end) {
      case End::kEndOfInput:
        sim.close_input();
        break;
      case End::kInterrupt:
        sim.signal(SIGINT);
        break;
      case End::kTerminate:
        sim.signal(SIGTERM);
        break;
    }
    EXPECT_EQ(sim.wait(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM3")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "COM4")));
    fs::remove(dir);
  }
}

TEST(TavikSim, RefusesBadArguments) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--psb", "../COM7"}, {"--psb", "COM8"}, {"--link-dir", "/nonexistent/dir"}, {"--seed", "x"}}) {
    SimProgram sim(args);
    ASSERT_TRUE(sim.started());
    EXPECT_NE(sim.wait(), 0) << args[0] << " " << args[1];
  }
}

}  // namespace
}  // namespace tavik::test
