// The scenarios the Windows build runs over COM ports, here on the
// simulator's pseudo-terminals.
#include "tests/support/scenarios/library_scenarios.h"

#include "sim/simulator.h"

namespace tavik::test {
namespace {

class LibraryScenarios : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(velk_rs232_psb_create(sim_.psb_path().c_str(), 100), 0);
    ASSERT_EQ(zarn_rs232_drvb_create(sim_.drvb_path().c_str(), 100), 0);
  }
  void TearDown() override {
    velk_rs232_psb_destroy();
    zarn_rs232_drvb_destroy();
  }

  sim::Simulator sim_;
  const SimCommand command_ = [this](const std::string& line) { return sim_.execute(line); };
};

TEST_F(LibraryScenarios, RequestsLeaveByteForByte) { run_request_scenarios(command_); }

TEST_F(LibraryScenarios, EachFaultFailsTheCallAsTheLibrarySays) { run_fault_scenarios(command_); }

}  // namespace
}  // namespace tavik::test
