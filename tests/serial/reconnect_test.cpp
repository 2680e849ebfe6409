// A board's adapter pulled and plugged back, through each library's exports:
// the dead descriptor is let go of at once, later calls fail at once while
// the device is away, and the port is opened again by name when it returns.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

#include "sim/simulated_boards.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A long time-out, so that a call that waited for it stands out from one
// that failed at once.
constexpr int kTimeoutMs = 1000;
constexpr auto kAtOnce = milliseconds(150);

struct Family {
  const char* name;
  sim::Board board;
  const char* port;
  std::function<int(const char*, int)> create;
  std::function<void()> destroy;
  std::function<int()> call;
};

const Family kFamilies[] = {
    {"zarn psb", sim::Board::kPsb, "COM7", zarn_rs232_psb_create, zarn_rs232_psb_destroy,
     [] {
       psb_power_data power{};
       return zarn_rs232_psb_read_power(&power);
     }},
    {"velk psb", sim::Board::kPsb, "COM7", velk_rs232_psb_create, velk_rs232_psb_destroy,
     [] {
       psb_sensor_data sensor{};
       return velk_rs232_psb_read_sensor(&sensor);
     }},
    {"zarn drvb", sim::Board::kDrvb, "COM8", zarn_rs232_drvb_create, zarn_rs232_drvb_destroy,
     [] {
       int left = 0;
       int right = 0;
       return zarn_rs232_drvb_read_encoder(&left, &right);
     }},
};

// Descriptors of this process open on `device`.
int descriptors_on(const std::string& device) {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (!error && target.rfind(device, 0) == 0) ++n;
  }
  return n;
}

struct Timed {
  int result;
  Clock::duration took;
};

Timed timed(const std::function<int()>& call) {
  const auto start = Clock::now();
  const int result = call();
  return {result, Clock::now() - start};
}

class Reconnect : public ::testing::TestWithParam<Family> {
 protected:
  ~Reconnect() override { GetParam().destroy(); }
  void SetUp() override { ASSERT_EQ(GetParam().create(GetParam().port, kTimeoutMs), 0); }

  // Pulls the adapter and makes the first call, which finds it gone.
  void pull() {
    const std::string device = sim_->path(GetParam().board);
    EXPECT_GE(descriptors_on(device), 1);
    sim_->unplug(GetParam().board);  // and closes its own descriptors of the device
    const Timed first = timed(GetParam().call);
    EXPECT_EQ(first.result, -1);
    EXPECT_LT(first.took, kAtOnce);
    EXPECT_EQ(descriptors_on(device), 0) << "the dead descriptor is still held";
  }
  void plug_back() { sim_->replug(GetParam().board); }

  // The boards as COM7 and COM8 in a private TAVIK_COM_DIR.
  sim::SimulatedBoards boards_;
  sim::Simulator* const sim_ = &boards_.simulator();
};

TEST_P(Reconnect, DeviceBackUnderItsNameIsUsedAgain) {
  const Family& f = GetParam();
  ASSERT_EQ(f.call(), 0);
  pull();
  // The next call tries the name once: the device is away.
  const auto tried_at = Clock::now();
  EXPECT_EQ(f.call(), -1);
  plug_back();
  // Back, but within the interval no second open is tried.
  const Timed early = timed(f.call);
  if (Clock::now() - tried_at < milliseconds(450)) {
    EXPECT_EQ(early.result, -1) << "opened again sooner than 500 ms after the last try";
  }
  EXPECT_LT(early.took, kAtOnce);
  // Polled as the console does: back within the interval and one poll.
  Timed back{-1, {}};
  while (back.result != 0 && Clock::now() - tried_at < milliseconds(1500)) {
    std::this_thread::sleep_for(milliseconds(100));
    back = timed(f.call);
  }
  EXPECT_EQ(back.result, 0);
  EXPECT_GE(Clock::now() - tried_at, milliseconds(500));
  EXPECT_TRUE(sim_->client_attached(f.board));
}

TEST_P(Reconnect, DeviceThatStaysAwayFailsEveryCallAtOnce) {
  const Family& f = GetParam();
  pull();
  const auto start = Clock::now();
  int calls = 0;
  while (Clock::now() - start < milliseconds(1200)) {
    const Timed t = timed(f.call);
    EXPECT_EQ(t.result, -1);
    EXPECT_LT(t.took, kAtOnce);
    ++calls;
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_GT(calls, 20);
}

TEST_P(Reconnect, CreateAndDestroyDuringAnOutage) {
  const Family& f = GetParam();
  pull();
  EXPECT_EQ(f.create(f.port, kTimeoutMs), -1) << "the device is away";
  EXPECT_EQ(f.call(), -1);
  plug_back();
  // A create opens at once, whatever the reopening interval.
  ASSERT_EQ(f.create(f.port, kTimeoutMs), 0);
  EXPECT_EQ(f.call(), 0);
  pull();
  f.destroy();
  plug_back();
  std::this_thread::sleep_for(milliseconds(600));
  EXPECT_EQ(f.call(), -1) << "destroy ends the reopening";
  EXPECT_FALSE(sim_->client_attached(f.board));
}

void PrintTo(const Family& f, std::ostream* out) { *out << f.name; }

INSTANTIATE_TEST_SUITE_P(Libraries, Reconnect, ::testing::ValuesIn(kFamilies), [](const auto& param_info) {
  std::string name = param_info.param.name;
  for (char& c : name) c = c == ' ' ? '_' : c;
  return name;
});

}  // namespace
}  // namespace tavik
