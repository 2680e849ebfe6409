// The files a person or a root process hands the tool: output files never
// written through a planted link nor left half-written, devices and FIFOs
// written as streams, and input files (limits, backups) refused with the
// entry named when they are not a regular file of strict JSON.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "tavik_fixture.h"

namespace tavik::test {
namespace {

std::string file_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in dir, but those given.
std::vector<std::string> names_in(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) out.push_back(entry.path().filename());
  std::sort(out.begin(), out.end());
  return out;
}

class TavikFiles : public TavikTool {
 protected:
  TavikFiles() : dir_(make_com_dir()) {}
  ~TavikFiles() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string dir_;  // the files' own directory, apart from the COM links
};

TEST_F(TavikFiles, AnOutputFileIsNeverWrittenThroughALinkNorLeftHalfWritten) {
  const std::string target = dir_ + "/owned";
  const std::string name = dir_ + "/out";
  const struct {
    const char* name;
    std::vector<std::string> args;  // the output file's name follows
    bool link;                      // a symbolic link planted at the name (else the target itself)
    int exit_code;
    const char* err;
    const char* file = nullptr;  // another name in the directory
  } cases[] = {
      {"watch --csv --force",
       {"watch", "--duration", "0.3", "--force", "--csv"},
       true,
       2,
       "is a symbolic link"},
      {"param save --force", {"drvb", "param", "save", "--force"}, true, 2, "is a symbolic link"},
      {"check --junit", {"check", "--junit"}, true, 2, "is a symbolic link"},
      {"a port that does not open",
       {"--drvb", "COM5", "drvb", "param", "save", "--force"},
       false,
       3,
       "missing"},
      {"a folder that is not there",
       {"watch", "--duration", "0.3", "--csv"},
       false,
       2,
       "No such",
       "none/x.csv"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(name);
    std::ofstream(target) << "kept\n";
    if (c.link) std::filesystem::create_symlink(target, name);
    std::vector<std::string> args = c.args;
    args.push_back(c.file != nullptr ? dir_ + "/" + c.file : c.link ? name : target);
    const Finished f = run_tavik(args);
    EXPECT_EQ(f.exit_code, c.exit_code) << f.err;
    EXPECT_NE(f.err.find(c.err), std::string::npos) << f.err;
    EXPECT_EQ(file_text(target), "kept\n");
    EXPECT_EQ(std::filesystem::is_symlink(name), c.link);
    // No temporary file left beside it.
    EXPECT_EQ(names_in(dir_).size(), c.link ? 2u : 1u);
  }
}

TEST_F(TavikFiles, AnExistingFileIsReplacedWholeWithForce) {
  const std::string backup = dir_ + "/params.json";
  std::ofstream(backup)
      << "an old backup that is much longer than the new one will be, to show no tail is left "
      << std::string(4096, 'x');
  ASSERT_EQ(run_tavik({"drvb", "param", "save", "--force", backup}).exit_code, 0);
  const Json saved = Json::parse(file_text(backup));
  EXPECT_EQ(saved.at("parameters").at("comm-timeout"), 500);
  EXPECT_EQ(names_in(dir_), std::vector<std::string>{"params.json"});
}

TEST_F(TavikFiles, DevicesAndFifosAreWrittenAsStreams) {
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  {
    // /dev/stdout is standard output, as "-" (the readings go to standard error).
    const Finished f = run_tavik({"watch", "--duration", "0.3", "--csv", "/dev/stdout"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    EXPECT_EQ(f.out.rfind("t_s,", 0), 0u) << f.out;
    EXPECT_NE(f.err.find("watch: started"), std::string::npos) << f.err;
  }
  {
    const Finished f = run_tavik({"drvb", "param", "save", "/dev/stderr"});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    EXPECT_NE(f.err.find("\"comm-timeout\": 500"), std::string::npos) << f.err;
  }
  {
    // A FIFO with a reader takes the text as it comes.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const Finished f = run_tavik({"drvb", "param", "save", fifo});
    EXPECT_EQ(f.exit_code, 0) << f.err;
    char buf[4096];
    const ssize_t n = ::read(reader, buf, sizeof buf);
    ::close(reader);
    ASSERT_GT(n, 0);
    EXPECT_EQ(Json::parse(std::string(buf, static_cast<std::size_t>(n))).at("board"), "drvb");
  }
  const struct {
    const char* name;
    std::vector<std::string> args;
    int exit_code;
    const char* err;
  } cases[] = {
      {"a full device, no --force",
       {"watch", "--duration", "0.3", "--csv", "/dev/full"},
       1,
       "cannot write /dev/full: No space left on device"},
      {"a FIFO nobody reads", {"watch", "--duration", "0.3", "--csv", fifo}, 2, "no process reads the FIFO"},
      {"a directory", {"check", "--junit", dir_}, 2, "it is a directory"},
  };
  for (const auto& c : cases) {
    const Finished f = run_tavik(c.args);
    EXPECT_EQ(f.exit_code, c.exit_code) << c.name << ": " << f.err;
    EXPECT_NE(f.err.find(c.err), std::string::npos) << c.name << ": " << f.err;
  }
  EXPECT_EQ(names_in(dir_), std::vector<std::string>{"fifo"});
}

TEST_F(TavikFiles, BadInputFilesAreRefusedWithTheEntryNamed) {
  const std::string file = dir_ + "/in.json";
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string backup = R"({"parameters": {"max-velocity": 900, "comm-timeout": 500}})";
  const struct {
    const char* name;
    bool restore;      // param restore, else check --limits
    std::string text;  // written to in.json
    const char* path;  // another file than in.json, or null
    const char* err;
  } cases[] = {
      {"limit 1e400", false, R"({"battery": {"low": 1e400}})", nullptr,
       "'battery.low': the number 1e400 is out of range"},
      {"limit -1e400", false, R"({"battery": {"high": -1e400}})", nullptr,
       "the number -1e400 is out of range"},
      {"backup 1e400", true, R"({"parameters": {"max-velocity": 1e400}})", nullptr,
       "'parameters.max-velocity': the number 1e400"},
      {"a huge whole number", true, R"({"parameters": {"max-velocity": 99999999999999999999999}})", nullptr,
       "max-velocity"},
      {"a duplicate limit", false, R"({"battery": {"low": 11, "low": 1}})", nullptr,
       "'battery.low' is given twice"},
      {"a duplicate item", false, R"({"battery": {"low": 11}, "battery": {}})", nullptr,
       "'battery' is given twice"},
      {"a duplicate parameter", true, R"({"parameters": {"max-velocity": 900, "max-velocity": 2000}})",
       nullptr, "'parameters.max-velocity' is given twice"},
      {"NUL and junk", true, backup + std::string("\0junk", 5), nullptr, "a NUL byte at offset"},
      {"a negative link limit", false, R"({"psb_link": {"high": -1}})", nullptr,
       "psb_link.high must not be negative"},
      {"a negative range limit", false, R"({"range_front": {"low": -0.5}})", nullptr, "must not be negative"},
      {"limits from a FIFO", false, "", "fifo", "not a regular file but a FIFO"},
      {"a backup from a FIFO", true, "", "fifo", "not a regular file but a FIFO"},
      {"limits from a device", false, "", "/dev/zero", "not a regular file but a character device"},
      {"limits from a directory", false, "", "/", "cannot read it"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << c.text;
    const std::string path = c.path == nullptr ? file : std::string(c.path) == "fifo" ? fifo : c.path;
    sim_.take_received(sim::Board::kDrvb);
    const Finished f =
        run_tavik(c.restore ? std::vector<std::string>{"--json", "drvb", "param", "restore", path}
                            : std::vector<std::string>{"--json", "check", "--limits", path});
    EXPECT_EQ(f.exit_code, 2) << f.err;
    EXPECT_LT(f.seconds, 3.0);
    EXPECT_NE(f.err.find(c.err), std::string::npos) << f.err;
    EXPECT_EQ(last_json(f.err).at("error").at("reason"), "usage") << f.err;
    EXPECT_TRUE(sim_.take_received(sim::Board::kDrvb).empty());  // nothing sent
  }
}

TEST_F(TavikFiles, CheckWritesItsReportAlsoWhenAPortDoesNotOpen) {
  const std::string junit = dir_ + "/check.xml";
  const Finished f = run_tavik({"--psb", "COM5", "check", "--junit", junit});
  EXPECT_EQ(f.exit_code, 3) << f.err;
  const std::string xml = file_text(junit);
  // The power & sensor board's 17 items are errors; the drive board's are judged.
  EXPECT_NE(xml.find(R"(tests="29" failures="0" errors="17" skipped="3")"), std::string::npos) << xml;
  EXPECT_NE(xml.find(R"(<testcase classname="tavik.check" name="psb_link" time=")"), std::string::npos)
      << xml;
  EXPECT_NE(xml.find(R"(<error message="the port COM5 did not open: missing)"), std::string::npos) << xml;
  EXPECT_NE(xml.find(R"(type="port-missing")"), std::string::npos) << xml;
}

}  // namespace
}  // namespace tavik::test
