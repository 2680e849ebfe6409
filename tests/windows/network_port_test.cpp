// The DLLs' network ports under Wine, against ser2net on the Linux side:
// scripts/test-windows starts it on a simulator of its own and passes its
// accepters as TAVIK_SER2NET_PSB (rfc2217://) and TAVIK_SER2NET_DRVB (tcp://).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tavik/rs232_error.h"
#include "tavik/velk_rs232_psb.h"
#include "tavik/zarn_rs232.h"

namespace tavik::test {
namespace {

TEST(NetworkPorts, BothTransportsAnswerAndARefusalSaysSo) {
  const char* psb = std::getenv("TAVIK_SER2NET_PSB");
  const char* drvb = std::getenv("TAVIK_SER2NET_DRVB");
  if (psb == nullptr || drvb == nullptr) GTEST_SKIP() << "no ser2net (TAVIK_SER2NET_PSB, TAVIK_SER2NET_DRVB)";
  ASSERT_EQ(velk_rs232_psb_create(psb, 200), 0)
      << psb << ": " << velk_rs232_psb_error_text(velk_rs232_psb_last_error());
  ASSERT_EQ(zarn_rs232_drvb_create(drvb, 200), 0)
      << drvb << ": " << zarn_rs232_error_text(zarn_rs232_last_error());
  psb_sensor_data sensor{};
  psb_power_data power{};
  int left = 0, right = 0;
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(velk_rs232_psb_read_sensor(&sensor), 0) << psb;
    EXPECT_EQ(velk_rs232_psb_read_power(&power), 0) << psb;
    EXPECT_EQ(zarn_rs232_drvb_read_encoder(&left, &right), 0) << drvb;
    EXPECT_EQ(zarn_rs232_drvb_set_velocity(0, 0), 0) << drvb;
  }
  velk_rs232_psb_destroy();
  zarn_rs232_drvb_destroy();
  EXPECT_EQ(zarn_rs232_psb_create("tcp://127.0.0.1:1", 200), -1);
  EXPECT_EQ(zarn_rs232_last_error(), TAVIK_RS232_CONNECTION_REFUSED);
}

}  // namespace
}  // namespace tavik::test
