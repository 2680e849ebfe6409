// Debian's ser2net serving the simulated boards' pseudo-terminals on
// 127.0.0.1, on ports picked here: for each board an RFC 2217 accepter and
// a raw TCP one, connectors at 9600 baud (an RFC 2217 client sets its own
// speed), without the character delay. Started with its own YAML file, and
// stopped (also to be started again on the same ports).
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/processes/child_program.h"
#include "tests/support/servers/local_port.h"

namespace tavik::test {

class Ser2net {
 public:
  enum Accepter { kPsbRfc2217, kPsbTcp, kDrvbRfc2217, kDrvbTcp };

  // dir holds the configuration file; psb and drvb are the boards' devices.
  Ser2net(const std::string& dir, const std::string& psb, const std::string& drvb)
      : config_(dir + "/ser2net.yaml") {
    for (int& p : ports_) p = free_tcp_port();
    std::ofstream out(config_);
    const std::string devices[4] = {psb, psb, drvb, drvb};
    for (int i = 0; i < 4; ++i) {
      out << "connection: &c" << i << "\n"
          << "  accepter: " << (i % 2 == 0 ? "telnet(rfc2217),tcp" : "tcp") << ",127.0.0.1," << ports_[i]
          << "\n"
          << "  connector: serialdev," << devices[i] << ",9600n81,local\n"
          << "  options:\n    chardelay: false\n";
    }
  }
  ~Ser2net() { stop(); }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // Starts it and waits (at most 5 s) until every accepter takes connections.
  bool start() {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_ = spawn_program(program(), {"-n", "-c", config_}, actions);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int port : ports_) {
      while (!listening(port)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    return true;
  }
  void stop() {
    if (pid_ <= 0) return;
    // SIGTERM, and SIGKILL if it has not ended within 2 s.
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill_child(pid_);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
  }

  // Waits (at most 2 s) until ser2net has closed device after its client
  // left, so that another accepter of the same device can open it.
  bool wait_released(const std::string& device) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (holds(device)) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  int port(Accepter a) const { return ports_[a]; }
  std::string url(Accepter a) const {
    return std::string(a == kPsbRfc2217 || a == kDrvbRfc2217 ? "rfc2217" : "tcp") +
           "://127.0.0.1:" + std::to_string(ports_[a]);
  }

  static const char* program() { return "/usr/sbin/ser2net"; }
  static bool installed() { return ::access(program(), X_OK) == 0; }

 private:
  bool holds(const std::string& device) const {
    std::error_code error;
    for (const auto& fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
      if (std::filesystem::read_symlink(fd.path(), error) == device) return true;
    }
    return false;
  }

  std::string config_;
  int ports_[4] = {};
  pid_t pid_ = -1;
};

}  // namespace tavik::test
