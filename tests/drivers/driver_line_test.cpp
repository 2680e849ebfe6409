// Both libraries on a real serial driver (the guest's 8250 UART or its FTDI
// USB adapters), against the board simulator on the host: line settings,
// modem lines, exclusive open, every export, and the round trip as a figure.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"
#include "tests/drivers/driver_env.h"
#include "tests/support/processes/child_program.h"
#include "tests/support/processes/line_control.h"

namespace tavik::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Board {
  const char* name;
  std::string port;
  int (*create)(const char*, int);
  void (*destroy)();
};

std::vector<Board> boards(const DriverEnv& env) {
  return {{"psb", env.psb_port, zarn_rs232_psb_create, zarn_rs232_psb_destroy},
          {"drvb", env.drvb_port, zarn_rs232_drvb_create, zarn_rs232_drvb_destroy}};
}

int modem_lines(int fd) {
  int status = 0;
  return ::ioctl(fd, TIOCMGET, &status) == 0 ? status & (TIOCM_DTR | TIOCM_RTS) : -1;
}

// The device's settings and modem lines seen through a second descriptor of
// the same device, held open across create and destroy.
TEST(RealLine, SettingsAndModemLines) {
  DriverEnv env;
  TAVIK_REQUIRE_DRIVER_ENV(env);
  for (const Board& board : boards(env)) {
    SCOPED_TRACE(std::string(board.name) + " on " + DriverEnv::device(board.port));
    const int watcher =
        ::open(DriverEnv::device(board.port).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(watcher, 0);
    int both = TIOCM_DTR | TIOCM_RTS;
    ASSERT_EQ(::ioctl(watcher, TIOCMBIC, &both), 0);
    ASSERT_EQ(modem_lines(watcher), 0);

    ASSERT_EQ(board.create(board.port.c_str(), 200), 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(watcher, &tio), 0);
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B115200));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | INPCK | ISTRIP | ICRNL | INLCR | IGNCR | BRKINT), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(modem_lines(watcher), TIOCM_DTR | TIOCM_RTS);
    serial_struct serial{};
    ASSERT_EQ(::ioctl(watcher, TIOCGSERIAL, &serial), 0);
    EXPECT_NE(serial.flags & ASYNC_LOW_LATENCY, 0) << "low-latency request not taken";

    board.destroy();
    EXPECT_EQ(modem_lines(watcher), 0);
    ::close(watcher);
  }
}

// A second create of an open device fails: from this process through the
// other library or the other board's connection, and from another process
// (the tavik tool, which then exits with 3).
TEST(RealLine, SecondOpenFails) {
  DriverEnv env;
  TAVIK_REQUIRE_DRIVER_ENV(env);
  for (const Board& board : boards(env)) {
    SCOPED_TRACE(std::string(board.name) + " on " + DriverEnv::device(board.port));
    ASSERT_EQ(board.create(board.port.c_str(), 200), 0);
    EXPECT_EQ(velk_rs232_psb_create(board.port.c_str(), 200), -1);
    EXPECT_EQ((board.create == zarn_rs232_psb_create ? zarn_rs232_drvb_create : zarn_rs232_psb_create)(
                  board.port.c_str(), 200),
              -1);
    ChildProgram other(TAVIK_TOOL_PATH, {"--" + std::string(board.name), board.port, board.name, "status"});
    ASSERT_TRUE(other.started());
    EXPECT_EQ(other.wait(std::chrono::seconds(10)), 3);
    board.destroy();
    EXPECT_EQ(velk_rs232_psb_create(board.port.c_str(), 200), 0) << "not released by destroy";
    velk_rs232_psb_destroy();
  }
}

class EveryExport : public ::testing::Test {
 protected:
  void SetUp() override {
    TAVIK_REQUIRE_DRIVER_ENV(env_);
    ASSERT_TRUE(sim_.connected()) << "no simulator control line on " << env_.sim_control;
    for (const char* command : {"fault clear", "bump off", "emg off", "reset psb", "reset drvb"}) {
      ASSERT_EQ(sim_.run(command).rfind("ok", 0), 0u) << command;
    }
    sim_.received("psb");  // what earlier programs sent
    sim_.received("drvb");
  }
  void TearDown() override {
    velk_rs232_psb_destroy();
    zarn_rs232_psb_destroy();
    zarn_rs232_drvb_destroy();
  }

  DriverEnv env_;
  LineControl sim_{env_.sim_control.c_str()};
};

Bytes joined(std::initializer_list<Bytes> frames) {
  Bytes out;
  for (const Bytes& f : frames) out.insert(out.end(), f.begin(), f.end());
  return out;
}

// Each export once: the request as the board received it, byte for byte,
// and the reply decoded.
TEST_F(EveryExport, RequestsAndReplies) {
  psb_power_data power{};
  psb_sensor_data sensor{};
  int ranges[7] = {};
  constexpr int kUnset = std::numeric_limits<int>::min();
  int a = kUnset, b = kUnset, c = kUnset;
  char err_left = 'x', err_right = 'x';
  struct Case {
    const char* board;
    const char* call;
    std::function<int()> run;
    Bytes request;
    std::function<bool()> decoded;
  };
  const auto battery_ok = [&] { return power.battery_volt > 11000 && power.battery_volt < 12700; };
  const Case cases[] = {
      {"psb", "zarn psb create", [&] { return zarn_rs232_psb_create(env_.psb_port.c_str(), 200); }, {}, {}},
      {"psb", "zarn read_power", [&] { return zarn_rs232_psb_read_power(&power); }, framed("PDR"),
       [&] { return battery_ok() && power.drive_state == 1 && power.lcd_state == 0; }},
      {"psb", "zarn read_usonic", [&] { return zarn_rs232_psb_read_usonic(ranges); }, framed("Sar"),
       [&] { return std::all_of(ranges, ranges + 7, [](int r) { return r > 0 && r <= 5500; }); }},
      {"psb",
       "zarn set_power_control",
       [] { return zarn_rs232_psb_set_power_control(5, 1); },
       framed("PB21"),
       {}},
      {"psb",
       "zarn set_usonic_max_dist",
       [] { return zarn_rs232_psb_set_usonic_max_dist(3); },
       framed("SDU4"),
       {}},
      {"psb", "zarn psb destroy", [] { return zarn_rs232_psb_destroy(), 0; }, {}, {}},
      {"psb", "velk create", [&] { return velk_rs232_psb_create(env_.psb_port.c_str(), 200); }, {}, {}},
      {"psb", "velk read_power", [&] { return velk_rs232_psb_read_power(&power); }, framed("PDR"),
       [&] { return battery_ok() && power.lcd_state == 1; }},
      {"psb", "velk read_sensor", [&] { return velk_rs232_psb_read_sensor(&sensor); }, framed("Sar"),
       [&] {
         return std::all_of(sensor.ranges, sensor.ranges + 7, [](float r) { return r > 0 && r <= 2.5f; });
       }},
      {"psb",
       "velk set_power_control",
       [] { return velk_rs232_psb_set_power_control(6, 0); },
       framed("PB30"),
       {}},
      {"psb",
       "velk set_usonic_max_dist",
       [] { return velk_rs232_psb_set_usonic_max_dist(0); },
       framed("SDU1"),
       {}},
      {"psb", "velk destroy", [] { return velk_rs232_psb_destroy(), 0; }, {}, {}},
      {"drvb",
       "zarn drvb create",
       [&] { return zarn_rs232_drvb_create(env_.drvb_port.c_str(), 200); },
       {},
       {}},
      {"drvb",
       "set_servo on",
       [] { return zarn_rs232_drvb_set_servo(1); },
       joined({framed("DB11"), framed("CZ11")}),
       {}},
      {"drvb",
       "set_velocity",
       [] { return zarn_rs232_drvb_set_velocity(200, -200); },
       framed("BE200;-200"),
       {}},
      {"drvb", "read_encoder", [&] { return zarn_rs232_drvb_read_encoder(&a, &b); }, framed("AC0"),
       [&] { return a != kUnset && b != kUnset; }},
      {"drvb", "set_velocity stop", [] { return zarn_rs232_drvb_set_velocity(0, 0); }, framed("BE;"), {}},
      {"drvb", "set_drive_err_reset", [] { return zarn_rs232_drvb_set_drive_err_reset(); }, framed("CG"), {}},
      {"drvb", "read_bumper_emg", [&] { return zarn_rs232_drvb_read_bumper_emg(&a, &b, &c); }, framed("AA"),
       [&] { return a == 1 && b == 0 && c == 1; }},
      {"drvb", "read_drive_err", [&] { return zarn_rs232_drvb_read_drive_err(&err_left, &err_right); },
       framed("AA"), [&] { return err_left == 0 && err_right == 0; }},
      {"drvb", "read_parameter", [&] { return zarn_rs232_drvb_read_parameter(1, &a); }, framed("XL30"),
       [&] { return a == 500; }},
      {"drvb",
       "set_parameter",
       [] { return zarn_rs232_drvb_set_parameter(2, 8); },
       joined({framed("XB068"), framed("XD")}),
       {}},
      {"drvb",
       "set_servo off",
       [] { return zarn_rs232_drvb_set_servo(0); },
       joined({framed("DB00"), framed("CZ11")}),
       {}},
      {"drvb", "zarn drvb destroy", [] { return zarn_rs232_drvb_destroy(), 0; }, {}, {}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.call);
    if (std::string(test.call) == "read_bumper_emg") {
      ASSERT_EQ(sim_.run("bump left").rfind("ok", 0), 0u);
      ASSERT_EQ(sim_.run("emg on").rfind("ok", 0), 0u);
    }
    EXPECT_EQ(test.run(), 0);
    EXPECT_EQ(sim_.received(test.board), test.request);
    if (test.decoded) {
      EXPECT_TRUE(test.decoded()) << "reply not decoded as expected";
    }
  }
}

// Not a check: the round trip of one exchange on this driver, printed as a
// figure line for the run's summary.
TEST_F(EveryExport, RoundTripFigure) {
  using Clock = std::chrono::steady_clock;
  ASSERT_EQ(velk_rs232_psb_create(env_.psb_port.c_str(), 200), 0);
  ASSERT_EQ(zarn_rs232_drvb_create(env_.drvb_port.c_str(), 200), 0);
  auto median_ms = [](const std::function<int()>& exchange) {
    std::vector<double> ms;
    for (int i = 0; i < 41; ++i) {
      const auto start = Clock::now();
      if (exchange() == 0)
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return std::pair{ms.empty() ? -1.0 : ms[ms.size() / 2], ms.size()};
  };
  psb_power_data power{};
  int left = 0, right = 0;
  const auto [pdr, pdr_good] = median_ms([&] { return velk_rs232_psb_read_power(&power); });
  const auto [ac, ac_good] = median_ms([&] { return zarn_rs232_drvb_read_encoder(&left, &right); });
  std::printf("figure: round trip on %s: PSB PDR %.2f ms, DRVB AC %.2f ms (median of %zu and %zu)\n",
              env_.driver.c_str(), pdr, ac, pdr_good, ac_good);
  EXPECT_EQ(pdr_good, 41u);
  EXPECT_EQ(ac_good, 41u);
}

// Not a check: what a "Sar" exchange (44-byte reply) costs the calling
// thread on this driver, for the libraries the loader found (guest-checks
// runs it again with a baseline build's when it has one).
TEST_F(EveryExport, SarCostFigure) {
  constexpr int kExchanges = 100;
  ASSERT_EQ(zarn_rs232_psb_create(env_.psb_port.c_str(), 200), 0);
  int ranges[7];
  zarn_rs232_psb_read_usonic(ranges);  // not counted: the first also opens the line's queues
  auto usage = [] {
    rusage u{};
    ::getrusage(RUSAGE_THREAD, &u);
    const double cpu_us = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e6 +
                          static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    return std::pair{cpu_us, static_cast<double>(u.ru_nvcsw)};
  };
  int good = 0;
  const auto start = std::chrono::steady_clock::now();
  const auto [cpu0, waits0] = usage();
  for (int i = 0; i < kExchanges; ++i) good += zarn_rs232_psb_read_usonic(ranges) == 0;
  const auto [cpu1, waits1] = usage();
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  Dl_info library{};
  ::dladdr(reinterpret_cast<void*>(&zarn_rs232_psb_create), &library);
  std::printf("figure: Sar exchange on %s: %.0f us CPU, %.1f waits, %.2f ms each (%d of %d good; %s)\n",
              env_.driver.c_str(), (cpu1 - cpu0) / kExchanges, (waits1 - waits0) / kExchanges,
              ms / kExchanges, good, kExchanges, library.dli_fname != nullptr ? library.dli_fname : "?");
  EXPECT_EQ(good, kExchanges);
}

// `tavik watch` while the drive board's adapter is pulled and plugged back:
// every failed drive-board step says "device lost", no poll waits beyond
// its bound, the adapter comes back under its old name and the drive board
// answers again without a new process.
TEST(AdapterRemoval, WatchSaysDeviceLostAndRecovers) {
  DriverEnv env;
  TAVIK_REQUIRE_DRIVER_ENV(env);
  if (env.host_control.empty()) GTEST_SKIP() << "no adapter to pull on " << env.driver;
  LineControl host(env.host_control.c_str());
  ASSERT_TRUE(host.connected());
  const std::string link = DriverEnv::device(env.drvb_port);
  const std::string device = std::filesystem::canonical(link).string();
  ChildProgram watch(TAVIK_TOOL_PATH, {"--psb", env.psb_port, "--drvb", env.drvb_port, "--json", "watch",
                                       "--rate", "5", "--duration", "30"});
  ASSERT_TRUE(watch.started());

  enum Phase { kBefore, kPulled, kBack } phase = kBefore;
  int good[3] = {}, lost = 0, other_failures = 0;
  double last_t = 0, longest_gap = 0, pulled_t = 0, plugged_t = 0, answering_t = 0;
  bool removed = false;
  std::string came_back_as;
  std::error_code ec;
  for (std::string line = watch.line(); !line.empty(); line = watch.line()) {
    const auto record = nlohmann::json::parse(line, nullptr, false);
    if (record.is_discarded() || record.contains("summary")) continue;
    if (record.value("board", "") != "drvb") continue;
    const double t = record.value("t", 0.0);
    longest_gap = std::max(longest_gap, t - last_t);
    last_t = t;
    if (!record.contains("failed")) {
      if (phase == kBack && good[kBack] == 0) {
        answering_t = t;
        came_back_as = std::filesystem::canonical(link, ec).string();
      }
      ++good[phase];
    } else {
      for (const auto& [step, why] : record["failed"].items()) {
        if (why.get<std::string>().rfind("device lost", 0) == 0) {
          ++lost;
        } else {
          ++other_failures;
          ADD_FAILURE() << "t " << t << " " << step << ": " << why;
        }
      }
    }
    if (phase == kBefore && good[kBefore] >= 3) {
      ASSERT_EQ(host.run("unplug drvb", std::chrono::seconds(20)).rfind("ok", 0), 0u);
      pulled_t = t;
      phase = kPulled;
    } else if (phase == kPulled && lost >= 5) {
      removed = !std::filesystem::exists(device);
      ASSERT_EQ(host.run("replug drvb", std::chrono::seconds(20)).rfind("ok", 0), 0u);
      plugged_t = t;
      phase = kBack;
    } else if (phase == kBack && good[kBack] == 3) {
      watch.signal(SIGINT);
    }
  }
  EXPECT_EQ(watch.wait(std::chrono::seconds(10)), 130);  // ended by Ctrl-C
  if (came_back_as.empty()) came_back_as = std::filesystem::canonical(link, ec).string();
  EXPECT_TRUE(removed) << device << " was still there with the adapter pulled";
  EXPECT_GE(lost, 5);
  EXPECT_EQ(other_failures, 0);
  EXPECT_LT(longest_gap, 1.5) << "a poll waited beyond its bound";
  EXPECT_EQ(came_back_as, device) << "the adapter came back under another name";
  EXPECT_GE(good[kBack], 3) << "the drive board did not answer again after the adapter came back";
  if (good[kBack] > 0) {
    std::printf(
        "figure: tavik watch on %s: the drive board answered again %.1f s after its adapter was "
        "back (%.1f s without it)\n",
        env.driver.c_str(), answering_t - plugged_t, answering_t - pulled_t);
  }
}

}  // namespace
}  // namespace tavik::test
