// Where TAVIK_TRACE may write. The trace is set up once per process, so each
// case runs in a child of its own: the name it is given, the umask, and
// whether a program it starts sees the trace's descriptor.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "serial/transport/wire_trace.h"
#include "tests/support/processes/child_program.h"

namespace tavik {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exit_code = -1;  // 0 tracing on, 1 off; -1 the child did not end in time
  std::string out, err;
};

// Sets the trace up in a child with TAVIK_TRACE=path, writes a line when it
// is on, then ends, or with exec_shell becomes a shell that lists its own
// descriptors.
Outcome trace_in_child(const std::string& path, mode_t mask, bool exec_shell) {
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
    ::umask(mask);
    ::setenv("TAVIK_TRACE", path.c_str(), 1);
    wire_trace_setup();
    const std::uint8_t byte = 'S';
    wire_trace_line("psb", "tx", &byte, 1);
    if (exec_shell) ::execl("/bin/sh", "sh", "-c", "ls -l /proc/$$/fd", static_cast<char*>(nullptr));
    ::_exit(wire_trace_on() ? 0 : 1);
  }
  ::close(out[1]);
  ::close(err[1]);
  Outcome o;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  pollfd p[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&o.out, &o.err};
  int open = 2;
  while (open > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || ::poll(p, 2, static_cast<int>(left.count())) <= 0) break;
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || p[i].revents == 0) continue;
      char buf[1024];
      const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        ::close(p[i].fd);
        p[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& f : p) {
    if (f.fd >= 0) ::close(f.fd);
  }
  // Both pipes at their end: the child has ended, or is ending.
  int status = 0;
  if (open == 0 && ::waitpid(pid, &status, 0) == pid)
    o.exit_code = test::exit_code(status);
  else
    test::kill_child(pid);
  return o;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WireTraceFile, WritesOnlyToAPlainFileOfItsOwnAndNeverWaits) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("trace-file-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  struct Case {
    const char* name;
    std::function<std::string()> prepare;  // makes what the name leads to; returns the name
    mode_t umask;
    bool on;
    const char* err;  // part of the one line on standard error when off
    bool exec_shell = false;
  };
  const Case cases[] = {
      {"FIFO without a reader",
       [&] {
         ::mkfifo((dir / "fifo").c_str(), 0600);
         return (dir / "fifo").string();
       },
       022, false, "not a regular file"},
      {"symbolic link",
       [&] {
         std::ofstream(dir / "target") << "kept\n";
         fs::create_symlink(dir / "target", dir / "link");
         return (dir / "link").string();
       },
       022, false, "a symbolic link"},
      {"device", [] { return std::string("/dev/null"); }, 022, false, "not a regular file"},
      {"new file under umask 000", [&] { return (dir / "new.log").string(); }, 000, true, ""},
      {"own file appended to",
       [&] {
         std::ofstream(dir / "own.log") << "earlier line\n";
         return (dir / "own.log").string();
       },
       022, true, ""},
      {"not inherited", [&] { return (dir / "inherit.log").string(); }, 022, true, "", true},
  };
  for (const Case& c : cases) {
    const std::string path = c.prepare();
    const auto start = std::chrono::steady_clock::now();
    const Outcome o = trace_in_child(path, c.umask, c.exec_shell);
    if (o.exit_code == -1) {
      ADD_FAILURE() << c.name << ": the set-up did not end";
      continue;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << c.name;
    if (!c.exec_shell) {
      EXPECT_EQ(o.exit_code, c.on ? 0 : 1) << c.name << ": " << o.err;
    }
    if (!c.on) {
      EXPECT_NE(o.err.find(c.err), std::string::npos) << c.name << ": " << o.err;
      EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << c.name << ": " << o.err;
      continue;
    }
    EXPECT_EQ(o.err, "") << c.name;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0) << c.name;
    EXPECT_TRUE(read_file(path).ends_with("psb tx 53  |S|\n")) << c.name << ": " << read_file(path);
    if (c.exec_shell) {
      EXPECT_EQ(o.out.find(path), std::string::npos) << o.out;
    }
  }
  EXPECT_EQ(read_file(dir / "target"), "kept\n");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "new.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(read_file(dir / "own.log").starts_with("earlier line\n"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tavik
