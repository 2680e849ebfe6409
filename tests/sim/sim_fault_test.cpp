// Faults put on the substitute boards' replies, seen through lib_zarn_rs232
// (what each kind does to a call: library_scenarios_test.cpp). Unplugging
// makes calls fail at once.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "sim_test_util.h"

namespace tavik::test {
namespace {

class SimFault : public SimBoards {};

TEST_F(SimFault, FaultCommandsNameWhatTheyCannotDo) {
  struct Case {
    const char* fault;
    const char* why;
  };
  const Case cases[] = {
      {"fault drvb XX silence", "unknown drvb command XX (one of: DB CZ BE AA AC CG XL XB XD, or *)"},
      {"fault psb BE bcc", "unknown psb command BE (one of: PDR Sar SDU P, or *)"},
      {"fault psb Sar status", "Sar replies carry no status byte: a status fault cannot apply to them"},
      {"fault psb PDR status 2", "PDR replies carry no status byte: a status fault cannot apply to them"},
      {"fault drvb AA status", "AA replies carry no status byte: a status fault cannot apply to them"},
      {"fault psb P silence n=0", "n= takes a count of requests, 1..1000000"},
      {"fault psb P silence n=1.5", "n= takes a count of requests, 1..1000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(sim_.execute(c.fault), std::string("error: ") + c.why);
  EXPECT_EQ(sim_.status().psb.faulted + sim_.status().drvb.faulted, 0u);
  EXPECT_EQ(sim_.execute("fault psb * status").rfind("ok:", 0), 0u);  // applies to status replies only
}

TEST_F(SimFault, RefusedAndSilencedRequestsTakeNoEffect) {
  sim_.execute("fault psb P status");
  EXPECT_EQ(zarn_rs232_psb_set_power_control(PSB_DEVICE_LCD, 1), -1);
  EXPECT_FALSE(sim_.status().devices[PSB_DEVICE_LCD]);
  sim_.execute("fault psb P silence");
  EXPECT_EQ(zarn_rs232_psb_set_power_control(PSB_DEVICE_LCD, 1), -1);
  EXPECT_FALSE(sim_.status().devices[PSB_DEVICE_LCD]);
  // A reply spoilt on the way back: the board did act.
  sim_.execute("fault psb P bcc");
  EXPECT_EQ(zarn_rs232_psb_set_power_control(PSB_DEVICE_LCD, 1), -1);
  EXPECT_TRUE(sim_.status().devices[PSB_DEVICE_LCD]);
  const auto counters = sim_.status().psb;
  EXPECT_EQ(counters.served.at("P"), 3u);
  EXPECT_EQ(counters.faulted, 3u);
}

TEST_F(SimFault, ACountedFaultHitsThatManyRequestsThenIsGone) {
  ASSERT_EQ(sim_.execute("fault psb P silence n=2").rfind("ok:", 0), 0u);
  EXPECT_EQ(zarn_rs232_psb_set_power_control(PSB_DEVICE_LCD, 1), -1);
  EXPECT_EQ(zarn_rs232_psb_set_power_control(PSB_DEVICE_LCD, 1), -1);
  EXPECT_EQ(zarn_rs232_psb_set_power_control(PSB_DEVICE_LCD, 1), 0);
  EXPECT_EQ(sim_.status().psb.faulted, 2u);
}

TEST_F(SimFault, RandomDropsHitAboutTheirShare) {
  sim::Fault drop;
  drop.board = sim::Board::kDrvb;
  drop.command = "AA";
  drop.kind = sim::FaultKind::kDrop;
  drop.probability = 0.5;
  sim_.set_fault(drop);
  int failed = 0;
  int a, b, c;
  for (int i = 0; i < 30; ++i) failed += zarn_rs232_drvb_read_bumper_emg(&a, &b, &c) != 0;
  EXPECT_GE(failed, 5);
  EXPECT_LE(failed, 25);
  EXPECT_EQ(sim_.status().drvb.faulted, static_cast<std::uint64_t>(failed));
  // Another board's faults are its own.
  int ranges[7];
  EXPECT_EQ(zarn_rs232_psb_read_usonic(ranges), 0);
}

TEST_F(SimFault, UnplugFailsCallsAtOnceAndReplugTakesANewCreate) {
  zarn_rs232_psb_destroy();
  zarn_rs232_drvb_destroy();
  constexpr int kLongTimeoutMs = 3000;
  ASSERT_EQ(zarn_rs232_psb_create(sim_.psb_path().c_str(), kLongTimeoutMs), 0);
  ASSERT_EQ(zarn_rs232_drvb_create(sim_.drvb_path().c_str(), kLongTimeoutMs), 0);
  EXPECT_TRUE(sim_.client_attached(sim::Board::kPsb));
  EXPECT_TRUE(sim_.client_attached(sim::Board::kDrvb));

  struct Case {
    sim::Board board;
    std::function<int()> call;
    std::function<int(const char*)> create;
  };
  int ranges[7];
  int a, b;
  const Case cases[] = {
      {sim::Board::kPsb, [&] { return zarn_rs232_psb_read_usonic(ranges); },
       [](const char* p) { return zarn_rs232_psb_create(p, kTimeoutMs); }},
      {sim::Board::kDrvb, [&] { return zarn_rs232_drvb_read_encoder(&a, &b); },
       [](const char* p) { return zarn_rs232_drvb_create(p, kTimeoutMs); }},
  };
  for (const Case& c : cases) {
    const std::string old_path = sim_.path(c.board);
    ASSERT_EQ(c.call(), 0);
    sim_.unplug(c.board);
    EXPECT_TRUE(sim_.path(c.board).empty());
    const sim::SimStatus unplugged = sim_.status();
    EXPECT_FALSE((c.board == sim::Board::kPsb ? unplugged.psb : unplugged.drvb).plugged);
    const auto start = Clock::now();
    EXPECT_EQ(c.call(), -1);
    EXPECT_EQ(c.call(), -1);
    EXPECT_LT(Clock::now() - start, milliseconds(kLongTimeoutMs / 2));  // no time-out waited
    EXPECT_EQ(c.create(old_path.c_str()), -1);                          // the device is gone

    sim_.replug(c.board);
    ASSERT_FALSE(sim_.path(c.board).empty());
    EXPECT_EQ(c.call(), -1);  // the connection still holds the old device
    ASSERT_EQ(c.create(sim_.path(c.board).c_str()), 0);
    EXPECT_EQ(c.call(), 0);
  }
  zarn_rs232_psb_destroy();
  zarn_rs232_drvb_destroy();
  EXPECT_FALSE(sim_.client_attached(sim::Board::kPsb));
  EXPECT_FALSE(sim_.client_attached(sim::Board::kDrvb));
}

}  // namespace
}  // namespace tavik::test
