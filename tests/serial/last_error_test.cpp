// Why a call failed, through each library's C API: every reason from a
// simulator fault or a bad create, kept per thread and per library.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "sim/simulator.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik {
namespace {

constexpr int kTimeoutMs = 100;

class LastError : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(zarn_rs232_drvb_create(sim_.drvb_path().c_str(), kTimeoutMs), 0);
    ASSERT_EQ(velk_rs232_psb_create(sim_.psb_path().c_str(), kTimeoutMs), 0);
  }
  void TearDown() override {
    zarn_rs232_drvb_destroy();
    velk_rs232_psb_destroy();
    zarn_rs232_psb_destroy();
  }
  sim::Simulator sim_;
};

int read_parameter() {
  int value = 0;
  return zarn_rs232_drvb_read_parameter(0, &value);
}

TEST_F(LastError, EachFailureSaysWhy) {
  struct Case {
    const char* fault;  // a tavik-sim command, or "" for none
    std::function<int()> call;
    int error;
    const char* text;
    std::set<int> os_errors;  // the system's error it may come with; {0}: none
  };
  const Case cases[] = {
      {"fault drvb XL silence", read_parameter, TAVIK_RS232_NO_REPLY, "no reply", {0}},
      {"fault drvb XL bcc", read_parameter, TAVIK_RS232_BAD_CHECK, "bad check byte", {0}},
      {"fault drvb BE status 7",
       [] { return zarn_rs232_drvb_set_velocity(0, 0); },
       TAVIK_RS232_REFUSED,
       "refused",
       {0}},
      {"fault drvb XL truncate", read_parameter, TAVIK_RS232_MALFORMED, "malformed reply", {0}},
      {"",
       [] { return zarn_rs232_drvb_set_parameter(0, 2001); },
       TAVIK_RS232_BAD_ARGUMENT,
       "bad argument",
       {0}},
      {"", [] { return zarn_rs232_psb_set_power_control(1, 1); }, TAVIK_RS232_NOT_OPEN, "not open", {0}},
      {"",
       [] { return zarn_rs232_psb_create("/nonexistent/ttyUSB9", kTimeoutMs); },
       TAVIK_RS232_MISSING,
       "missing",
       {ENOENT}},
      {"",
       [] { return zarn_rs232_psb_create("/dev/null", kTimeoutMs); },
       TAVIK_RS232_NOT_SERIAL,
       "not a serial device",
       {ENOTTY}},
      // Held by velk: its lock, or for a user other than root its exclusive open.
      {"",
       [&] { return zarn_rs232_psb_create(sim_.psb_path().c_str(), kTimeoutMs); },
       TAVIK_RS232_PORT_BUSY,
       "busy",
       {EWOULDBLOCK, EBUSY}},
      {"", [] { return zarn_rs232_psb_create("COM7", 0); }, TAVIK_RS232_BAD_ARGUMENT, "bad argument", {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    sim_.execute("fault clear");
    if (c.fault[0] != '\0') {
      ASSERT_EQ(sim_.execute(c.fault).rfind("ok", 0), 0u) << c.fault;
    }
    EXPECT_EQ(c.call(), -1);
    EXPECT_EQ(zarn_rs232_last_error(), c.error);
    EXPECT_STREQ(zarn_rs232_error_text(zarn_rs232_last_error()), c.text);
    const int os_error = zarn_rs232_last_os_error();
    EXPECT_EQ(c.os_errors.count(os_error), 1u) << os_error;
    // A success leaves the reason as it was.
    sim_.execute("fault clear");
    EXPECT_EQ(read_parameter(), 0);
    EXPECT_EQ(zarn_rs232_last_error(), c.error);
    EXPECT_EQ(zarn_rs232_last_os_error(), os_error);
  }
  sim_.execute("fault drvb BE status 7");
  EXPECT_EQ(zarn_rs232_drvb_set_velocity(0, 0), -1);
  EXPECT_EQ(zarn_rs232_last_refusal(), '7');

  sim_.unplug(sim::Board::kDrvb);
  EXPECT_EQ(read_parameter(), -1);
  EXPECT_EQ(zarn_rs232_last_error(), TAVIK_RS232_DEVICE_LOST);
  EXPECT_STREQ(zarn_rs232_error_text(999), "unknown error");
}

TEST_F(LastError, EachThreadAndEachLibraryKeepsItsOwn) {
  sim_.execute("fault drvb XL silence");
  EXPECT_EQ(read_parameter(), -1);
  std::thread other([] {
    EXPECT_EQ(zarn_rs232_last_error(), TAVIK_RS232_OK);  // nothing failed on this thread
    EXPECT_EQ(zarn_rs232_drvb_set_parameter(1, 1), -1);
    EXPECT_EQ(zarn_rs232_last_error(), TAVIK_RS232_BAD_ARGUMENT);
  });
  other.join();
  EXPECT_EQ(zarn_rs232_last_error(), TAVIK_RS232_NO_REPLY);
  EXPECT_EQ(velk_rs232_psb_last_error(), TAVIK_RS232_OK);
  EXPECT_EQ(velk_rs232_psb_set_usonic_max_dist(9), -1);
  EXPECT_EQ(velk_rs232_psb_last_error(), TAVIK_RS232_BAD_ARGUMENT);
  EXPECT_STREQ(velk_rs232_psb_error_text(TAVIK_RS232_DEVICE_LOST), "device lost");
  EXPECT_EQ(zarn_rs232_last_error(), TAVIK_RS232_NO_REPLY);
  EXPECT_EQ(zarn_rs232_psb_create("/nonexistent/ttyUSB9", kTimeoutMs), -1);
  EXPECT_EQ(zarn_rs232_last_os_error(), ENOENT);
  EXPECT_EQ(velk_rs232_psb_last_os_error(), 0);
  // A COM name that is not there says where it was looked for, until the
  // next failure; the device a name leads to is the library's own rule.
  ::unsetenv("TAVIK_COM_DIR");
  EXPECT_EQ(zarn_rs232_psb_create("COM987", kTimeoutMs), -1);
  EXPECT_NE(std::string(zarn_rs232_last_error_detail()).find("as /dev/tavik/COM987"), std::string::npos);
  EXPECT_STREQ(zarn_rs232_port_device("COM987"), "/dev/ttyS986");
  EXPECT_STREQ(velk_rs232_psb_port_device("../etc/passwd"), "");
  EXPECT_STREQ(velk_rs232_psb_last_error_detail(), "");
  EXPECT_EQ(zarn_rs232_drvb_set_parameter(1, 1), -1);
  EXPECT_STREQ(zarn_rs232_last_error_detail(), "");
}

}  // namespace
}  // namespace tavik
