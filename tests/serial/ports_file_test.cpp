// The ports file as the libraries read it: the mappings a text gives, each
// bad line with its file, number and why, the files refused unread, and a
// file read again once it changed. A HOME of the test's own holds the file.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "serial/names/port_map.h"
#include "serial/names/port_map_file.h"
#include "tests/support/processes/ports_file_home.h"

namespace tavik {
namespace {

struct Read {
  std::vector<std::string> mappings;  // "COM7=tcp://robot:1@2": name, target, line
  std::vector<std::string> problems;  // as given, with the file's path cut to "FILE"
};

// What the ports file of `home` gives (the system's file, if any, left out).
Read read_of(const test::PortsFileHome& home) {
  std::vector<std::string> problems;
  const std::vector<PortMapping> mappings = read_port_map(&problems);
  Read read;
  for (const PortMapping& m : mappings) {
    if (m.file == home.file())
      read.mappings.push_back(m.name + "=" + m.target + "@" + std::to_string(m.line));
  }
  for (const std::string& problem : problems) {
    if (problem.rfind(home.file(), 0) == 0)
      read.problems.push_back("FILE" + problem.substr(home.file().size()));
  }
  return read;
}

class PortsFile : public ::testing::Test {
 protected:
  // A simulator's COM folder turns the ports file off.
  void SetUp() override { ::unsetenv("TAVIK_COM_DIR"); }
};

TEST_F(PortsFile, LinesTakenAndRefused) {
  using V = std::vector<std::string>;
  const struct {
    const char* name;
    std::string text;
    V mappings;
    V problems;
  } cases[] = {
      {"one mapping", "COM7 = rfc2217://robot.local:7001\n", {"COM7=rfc2217://robot.local:7001@1"}, {}},
      {"no spaces, no last newline", "COM7=tcp://10.0.0.7:4001", {"COM7=tcp://10.0.0.7:4001@1"}, {}},
      {"comments and blank lines",
       "# the robot\n\n   \nCOM8 = tcp://robot:4002  # drive board\n",
       {"COM8=tcp://robot:4002@4"},
       {}},
      {"CRLF line ends and tabs",
       "\tCOM7\t=\ttcp://robot:1\r\nCOM8 = tcp://robot:2\r\n",
       {"COM7=tcp://robot:1@1", "COM8=tcp://robot:2@2"},
       {}},
      {"a later line wins",
       "COM7 = tcp://a:1\nCOM8 = tcp://b:2\nCOM7 = tcp://c:3\n",
       {"COM7=tcp://c:3@3", "COM8=tcp://b:2@2"},
       {}},
      {"byte order mark",
       "\xEF\xBB\xBF"
       "COM7 = tcp://a:1\nCOM8 = tcp://b:2\n",
       {"COM8=tcp://b:2@2"},
       {"FILE:1: starts with a UTF-8 byte order mark (save the file without one)"}},
      {"no equals sign",
       "COM7 tcp://a:1\n",
       {},
       {"FILE:1: no '=' (lines are COM<n> = tcp://HOST:PORT or rfc2217://HOST:PORT)"}},
      {"not a COM name", "\nttyUSB0 = tcp://a:1\n", {}, {"FILE:2: 'ttyUSB0' is not a COM<n> name"}},
      {"COM0", "COM0 = tcp://a:1\n", {}, {"FILE:1: 'COM0': COM numbers start at 1"}},
      {"leading zero", "COM07 = tcp://a:1\n", {}, {"FILE:1: 'COM07' has a leading zero (COM7)"}},
      {"empty name", " = tcp://a:1\n", {}, {"FILE:1: '' is not a COM<n> name"}},
      {"device as target",
       "COM7 = /dev/ttyUSB0\n",
       {},
       {"FILE:1: '/dev/ttyUSB0': not a network port (tcp://HOST:PORT or rfc2217://HOST:PORT)"}},
      {"unknown scheme",
       "COM7 = telnet://a:23\n",
       {},
       {"FILE:1: 'telnet://a:23': unknown scheme telnet://, not tcp://, socket:// or rfc2217://"}},
      {"bad port",
       "COM7 = tcp://a:70000\n",
       {},
       {"FILE:1: 'tcp://a:70000': the port is not a number from 1 to 65535"}},
      {"control bytes quoted", "COM\x1b[2J = tcp://a:1\n", {}, {"FILE:1: 'COM?[2J' is not a COM<n> name"}},
      {"bad lines skipped, good ones kept",
       "COM7 = tcp://a:1\nnonsense\nCOM8 = tcp://b:2\n",
       {"COM7=tcp://a:1@1", "COM8=tcp://b:2@3"},
       {"FILE:2: no '=' (lines are COM<n> = tcp://HOST:PORT or rfc2217://HOST:PORT)"}},
  };
  for (const auto& c : cases) {
    const test::PortsFileHome home(c.text);
    const Read read = read_of(home);
    EXPECT_EQ(read.mappings, c.mappings) << c.name;
    EXPECT_EQ(read.problems, c.problems) << c.name;
  }
}

TEST_F(PortsFile, MappedPortByName) {
  const test::PortsFileHome home("COM7 = tcp://a:1\nCOM12 = rfc2217://[::1]:7001\n");
  EXPECT_EQ(mapped_port("COM7"), "tcp://a:1");
  EXPECT_EQ(mapped_port("COM12"), "rfc2217://[::1]:7001");
  EXPECT_EQ(mapped_port("COM8"), "");
  EXPECT_EQ(mapped_port("ttyS0"), "");
  EXPECT_EQ(port_target("COM7"), "tcp://a:1");
  EXPECT_EQ(port_target("tcp://b:2"), "tcp://b:2");
}

TEST_F(PortsFile, FilesRefusedUnread) {
  const std::string line = "COM7 = tcp://a:1\n";
  std::string at_limit = line;
  at_limit.resize(kPortsFileMaxBytes, '#');
  at_limit.back() = '\n';
  const struct {
    const char* name;
    std::string text;
    mode_t mode;
    std::vector<std::string> mappings;
    std::vector<std::string> problems;
  } cases[] = {
      {"at the size limit", at_limit, 0644, {"COM7=tcp://a:1@1"}, {}},
      {"over the size limit", at_limit + "\n", 0644, {}, {"FILE: " + ports_file_too_large()}},
      {"writable by every user", line, 0666, {}, {"FILE: writable by every user (chmod o-w)"}},
  };
  for (const auto& c : cases) {
    const test::PortsFileHome home(c.text);
    ASSERT_EQ(::chmod(home.file().c_str(), c.mode), 0) << c.name;
    const Read read = read_of(home);
    EXPECT_EQ(read.mappings, c.mappings) << c.name;
    EXPECT_EQ(read.problems, c.problems) << c.name;
  }
}

TEST_F(PortsFile, NotARegularFileIsNeitherOpenedNorWaitedFor) {
  const test::PortsFileHome home("");
  std::filesystem::remove(home.file());
  ASSERT_EQ(::mkfifo(home.file().c_str(), 0600), 0);
  EXPECT_EQ(read_of(home).problems, std::vector<std::string>{"FILE: not a regular file"});
  std::filesystem::remove(home.file());
  std::filesystem::create_symlink(home.file() + ".absent", home.file());
  const Read dangling = read_of(home);
  ASSERT_EQ(dangling.problems.size(), 1u);
  EXPECT_EQ(dangling.problems[0].rfind("FILE: a symbolic link to nothing readable: ", 0), 0u)
      << dangling.problems[0];
}

TEST_F(PortsFile, ReadAgainOnlyOnceChanged) {
  const test::PortsFileHome home("COM7 = tcp://a:1\n");
  EXPECT_EQ(read_of(home).mappings, std::vector<std::string>{"COM7=tcp://a:1@1"});
  std::ofstream(home.file()) << "# moved\nCOM7 = tcp://robot:4001\n";
  EXPECT_EQ(mapped_port("COM7"), "tcp://robot:4001");
  EXPECT_EQ(read_of(home).mappings, std::vector<std::string>{"COM7=tcp://robot:4001@2"});
  std::filesystem::remove(home.file());
  EXPECT_EQ(mapped_port("COM7"), "");
  EXPECT_TRUE(read_of(home).mappings.empty());
}

TEST_F(PortsFile, UnchangedFileIsNotReadAgain) {
  const test::PortsFileHome home("COM7 = tcp://a:1\n");
  FileStamp stamp;
  {
    const PortsFileRead first = read_ports_file(home.file(), nullptr);
    ASSERT_EQ(first.outcome, PortsFileRead::Outcome::kRead);
    EXPECT_EQ(first.text, "COM7 = tcp://a:1\n");
    stamp = first.stamp;
  }
  EXPECT_EQ(read_ports_file(home.file(), &stamp).outcome, PortsFileRead::Outcome::kUnchanged);
  std::ofstream(home.file(), std::ios::app) << "COM8 = tcp://b:2\n";
  const PortsFileRead changed = read_ports_file(home.file(), &stamp);
  EXPECT_EQ(changed.outcome, PortsFileRead::Outcome::kRead);
  EXPECT_EQ(changed.text, "COM7 = tcp://a:1\nCOM8 = tcp://b:2\n");
  EXPECT_EQ(read_ports_file(home.file() + ".absent", nullptr).outcome, PortsFileRead::Outcome::kAbsent);
}

}  // namespace
}  // namespace tavik
