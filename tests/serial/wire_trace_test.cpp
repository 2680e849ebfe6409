// The wire trace through the libraries: TAVIK_TRACE names a file before the
// first create of this process, and each exchange leaves its lines there.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulator.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik {
namespace {

class WireTrace : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    path_ = "/tmp/tavik-trace-" + std::to_string(::getpid()) + ".log";
    ::setenv("TAVIK_TRACE", path_.c_str(), 1);
  }
  static void TearDownTestSuite() { ::unlink(path_.c_str()); }
  void SetUp() override {
    ASSERT_EQ(velk_rs232_psb_create(sim_.psb_path().c_str(), 100), 0);
    ASSERT_EQ(zarn_rs232_drvb_create(sim_.drvb_path().c_str(), 100), 0);
    ::truncate(path_.c_str(), 0);
  }
  void TearDown() override {
    velk_rs232_psb_destroy();
    zarn_rs232_drvb_destroy();
  }
  // The trace's lines without their time stamps.
  static std::vector<std::string> lines() {
    std::ifstream in(path_);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
      EXPECT_TRUE(std::regex_match(
          line, std::regex(R"(\d+ (psb|drvb) (tx|rx|late|copy|purged)( [0-9a-f]{2})*  \|.*\|.*)")))
          << line;
      out.push_back(line.substr(line.find(' ') + 1));
    }
    return out;
  }
  static std::string path_;
  sim::Simulator sim_;
};
std::string WireTrace::path_;

TEST_F(WireTrace, OneLinePerFrameWithTheOutcome) {
  psb_sensor_data sensor{};
  int value = 0;
  sim_.execute("fault psb Sar noise 2");
  ASSERT_EQ(velk_rs232_psb_read_sensor(&sensor), 0);
  sim_.execute("fault drvb XL status 4");
  EXPECT_EQ(zarn_rs232_drvb_read_parameter(0, &value), -1);
  sim_.execute("fault clear");
  sim_.execute("fault psb PDR delay 150");
  psb_power_data power{};
  EXPECT_EQ(velk_rs232_psb_read_power(&power), -1);
  sim_.execute("fault clear");  // the late reply comes while SDU waits for its echo
  EXPECT_EQ(velk_rs232_psb_set_usonic_max_dist(3), 0);
  EXPECT_EQ(zarn_rs232_drvb_set_servo(1), 0);

  const std::vector<std::string> got = lines();
  ASSERT_EQ(got.size(), 13u);
  EXPECT_EQ(got[0], "psb tx 02 53 61 72 03 43  |.Sar.C|");
  // Two stray bytes ahead of the reply's STX, then the counted frame.
  EXPECT_TRUE(std::regex_match(got[1], std::regex(R"(psb rx [0-9a-f]{2} [0-9a-f]{2} 02 .* ok)"))) << got[1];
  EXPECT_TRUE(got[2].starts_with("drvb tx 02 58 4c ")) << got[2];  // "XL.."
  EXPECT_TRUE(got[3].starts_with("drvb rx 02 34 ")) << got[3];
  EXPECT_TRUE(got[3].ends_with("refused (4)")) << got[3];
  EXPECT_TRUE(got[4].starts_with("psb tx 02 50 44 52 03")) << got[4];  // PDR
  EXPECT_EQ(got[5], "psb rx  || no reply");
  EXPECT_TRUE(got[6].starts_with("psb tx 02 53 44 55 34 03")) << got[6];
  EXPECT_TRUE(got[7].starts_with("psb late 02 ")) << got[7];              // the late PDR reply, dropped
  EXPECT_TRUE(got[8].starts_with("psb rx 02 53 44 55 34 03")) << got[8];  // its echo
  // Each exchange of a command of two: its request, then its reply.
  EXPECT_TRUE(got[9].starts_with("drvb tx 02 44 42 31 31 03")) << got[9];  // DB11
  EXPECT_TRUE(got[10].starts_with("drvb rx 02 30 03 33") && got[10].ends_with(" ok")) << got[10];
  EXPECT_TRUE(got[11].starts_with("drvb tx 02 43 5a 31 31 03")) << got[11];  // CZ11
  EXPECT_TRUE(got[12].starts_with("drvb rx 02 30 03 33") && got[12].ends_with(" ok")) << got[12];
}

TEST_F(WireTrace, LinesStayWholeFromSeveralThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 20; ++i) {
        psb_sensor_data sensor{};
        int left = 0;
        int right = 0;
        EXPECT_EQ(
            t % 2 == 0 ? velk_rs232_psb_read_sensor(&sensor) : zarn_rs232_drvb_read_encoder(&left, &right),
            0);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  // Each line matched its shape, and each call left its outcome; a read whose
  // answer was alike the one just before may have settled (exchange.h) and
  // sent again.
  const auto got = lines();
  EXPECT_GE(got.size(), 4u * 20u * 2u);
  EXPECT_EQ(std::count_if(got.begin(), got.end(), [](const std::string& l) { return l.ends_with("| ok"); }),
            4 * 20);
}

}  // namespace
}  // namespace tavik
