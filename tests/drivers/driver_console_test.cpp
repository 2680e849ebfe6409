// The console's real window and workers (offscreen) on a real serial driver,
// against the board simulator on the host: a session with every poller and a
// jog, closing while jogging, and the drive board's adapter pulled and
// plugged back while the pollers run.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <string>

#include "console/core/control_ids.h"
#include "tests/console_qt/qt_support.h"
#include "tests/drivers/driver_env.h"
#include "tests/support/processes/line_control.h"

namespace tavik::test {
namespace {

using namespace console;  // the control IDs
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

void click(ConsoleView& view, int id) {
  QWidget* button = view.control(id);
  ASSERT_TRUE(button->isEnabled()) << id;
  QTest::mouseClick(button, Qt::LeftButton);
}

// Selects COM<n> in a port list (entries COM1 to COM20).
void select_port(ConsoleView& view, int list, const std::string& port) {
  control<QComboBox>(view, list)->setCurrentIndex(static_cast<int>(com_number(port)) - 1);
}

// The velocity frames (BE...) among the bytes a drive board received.
std::vector<std::string> velocity_requests(const Bytes& bytes) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
    if (bytes[i] != 0x02 || bytes[i + 1] != 'B' || bytes[i + 2] != 'E') continue;
    std::string text;
    for (std::size_t j = i + 1; j < bytes.size() && bytes[j] != 0x03; ++j)
      text += static_cast<char>(bytes[j]);
    out.push_back(text);
  }
  return out;
}

// Connects both boards on the driver's ports (the lists' defaults COM7 and
// COM8 for the USB adapters) and starts every poller.
void connect_and_poll(ConsoleView& view, const DriverEnv& env) {
  if (env.psb_port != "COM7" || env.drvb_port != "COM8") {
    select_port(view, IDC_PSB_PORT, env.psb_port);
    select_port(view, IDC_DRVB_PORT, env.drvb_port);
  }
  click(view, IDC_PSB_CONNECT);
  click(view, IDC_DRVB_CONNECT);
  ASSERT_TRUE(view.control(IDC_PSB_DISCONNECT)->isEnabled()) << "PSB connect failed on " << env.psb_port;
  ASSERT_TRUE(view.control(IDC_DRVB_DISCONNECT)->isEnabled()) << "DRVB connect failed on " << env.drvb_port;
  for (int id : {IDC_USONIC_ENABLE, IDC_POWER_DATA_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE,
                 IDC_ROBOT_CTRL_ENABLE}) {
    click(view, id);
  }
  EXPECT_TRUE(wait_until([&] {
    return text(view, IDC_LINK_PSB_STATE) == "answering" && text(view, IDC_LINK_DRVB_STATE) == "answering";
  }));
  EXPECT_TRUE(wait_until(
      [&] { return !text(view, IDC_ENCODER_LEFT).isEmpty() && text(view, IDC_ENCODER_LEFT) != "--"; }));
  EXPECT_TRUE(wait_until([&] { return text(view, IDC_DRIVE_STATE) == "On"; }));
}

// Closes the window with Esc and returns how long that took.
double close_seconds(ConsoleView& view) {
  const auto start = Clock::now();
  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_FALSE(view.isVisible());
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(ConsoleOnRealDriver, SessionAndCloseWhileJogging) {
  DriverEnv env;
  TAVIK_REQUIRE_DRIVER_ENV(env);
  LineControl sim(env.sim_control.c_str());
  ASSERT_TRUE(sim.connected());
  for (const char* command : {"fault clear", "bump off", "emg off", "reset psb", "reset drvb"}) {
    ASSERT_EQ(sim.run(command).rfind("ok", 0), 0u) << command;
  }
  ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  connect_and_poll(view, env);
  sim.received("drvb");

  // A jog held and released: 200,200 while held, then the stop.
  QTest::mousePress(view.control(IDC_FRONT), Qt::LeftButton);
  Bytes seen;
  EXPECT_TRUE(wait_until([&] {
    const Bytes more = sim.received("drvb");
    seen.insert(seen.end(), more.begin(), more.end());
    const auto be = velocity_requests(seen);
    return !be.empty() && be.back() == "BE200;200";
  }));
  QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(view.width() - 10, view.height() - 10));
  EXPECT_TRUE(wait_until([&] {
    const Bytes more = sim.received("drvb");
    seen.insert(seen.end(), more.begin(), more.end());
    const auto be = velocity_requests(seen);
    return !be.empty() && be.back() == "BE;";
  }));

  // Held again, then the window closed while the button is down.
  QTest::mousePress(view.control(IDC_REAR), Qt::LeftButton);
  seen.clear();
  EXPECT_TRUE(wait_until([&] {
    const Bytes more = sim.received("drvb");
    seen.insert(seen.end(), more.begin(), more.end());
    const auto be = velocity_requests(seen);
    return !be.empty() && be.back() == "BE-200;-200";
  }));
  const double took = close_seconds(view);
  const Bytes last = sim.received("drvb");
  seen.insert(seen.end(), last.begin(), last.end());
  const auto be = velocity_requests(seen);
  ASSERT_FALSE(be.empty());
  EXPECT_EQ(be.back(), "BE;") << "the last velocity the drive board received";
  EXPECT_LT(took, 3.0);
  std::printf("figure: console on %s closed in %.2f s while jogging\n", env.driver.c_str(), took);
}

// The drive board's adapter pulled while every poller runs: the Link panel
// says the port is lost, the PSB goes on, and once the adapter is back under
// its old name the pollers recover without a click. Pulled again, the
// window closes within its bound.
TEST(ConsoleOnRealDriver, AdapterPulledAndBack) {
  DriverEnv env;
  TAVIK_REQUIRE_DRIVER_ENV(env);
  if (env.host_control.empty()) GTEST_SKIP() << "no adapter to pull on " << env.driver;
  LineControl host(env.host_control.c_str());
  ASSERT_TRUE(host.connected());
  ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  connect_and_poll(view, env);
  const std::string device = std::filesystem::canonical(DriverEnv::device(env.drvb_port)).string();

  ASSERT_EQ(host.run("unplug drvb", std::chrono::seconds(20)).rfind("ok", 0), 0u);
  EXPECT_TRUE(wait_until([&] { return text(view, IDC_LINK_DRVB_STATE).startsWith("port lost"); }, 5000))
      << text(view, IDC_LINK_DRVB_STATE).toStdString();
  EXPECT_TRUE(wait_until([&] { return !std::filesystem::exists(device); }, 10000))
      << device << " still there";
  EXPECT_EQ(text(view, IDC_LINK_PSB_STATE), "answering");

  ASSERT_EQ(host.run("replug drvb", std::chrono::seconds(20)).rfind("ok", 0), 0u);
  EXPECT_TRUE(wait_until([&] { return std::filesystem::exists(DriverEnv::device(env.drvb_port)); }, 10000));
  std::error_code ec;
  EXPECT_EQ(std::filesystem::canonical(DriverEnv::device(env.drvb_port), ec).string(), device)
      << "the adapter came back under another name";
  EXPECT_TRUE(wait_until([&] { return text(view, IDC_LINK_DRVB_STATE) == "answering"; }, 10000))
      << "no recovery: " << text(view, IDC_LINK_DRVB_STATE).toStdString();

  // Pulled once more, and the window closed while the adapter is away.
  ASSERT_EQ(host.run("unplug drvb", std::chrono::seconds(20)).rfind("ok", 0), 0u);
  EXPECT_TRUE(wait_until([&] { return text(view, IDC_LINK_DRVB_STATE).startsWith("port lost"); }, 5000));
  EXPECT_LT(close_seconds(view), 3.0);
  EXPECT_EQ(host.run("replug drvb", std::chrono::seconds(20)).rfind("ok", 0), 0u);
}

}  // namespace
}  // namespace tavik::test
