// Whatever ends the jogging or the console while Front is held with the
// mouse, the wheels stop at once: the last velocity the simulated drive
// board receives is 0,0, in time for the board's own communication time-out,
// which would otherwise flag both wheels.
#include <gtest/gtest.h>
#include <signal.h>

#include <QTest>
#include <chrono>
#include <cstdio>
#include <functional>

#include "console/core/control_ids.h"
#include "console/qt/termination_signals.h"
#include "qt_support.h"
#include "sim/simulated_boards.h"
#include "tests/support/records/velocity_record.h"

namespace tavik::test {
namespace {

using namespace console;  // the control IDs
using Clock = VelocityRecord::Clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

TEST(EndingWhileJogging, StopsTheWheelsAtOnce) {
  struct Case {
    const char* way;
    std::function<void(ConsoleView&)> end;
  };
  const Case cases[] = {
      {"Esc with the mouse held",
       [](ConsoleView&) { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); }},
      {"close box", [](ConsoleView& v) { v.close(); }},
      {"SIGINT", [](ConsoleView&) { ::raise(SIGINT); }},
      {"SIGTERM", [](ConsoleView&) { ::raise(SIGTERM); }},
      {"Disconnect", [](ConsoleView& v) { control<QPushButton>(v, IDC_DRVB_DISCONNECT)->click(); }},
      {"Robot Control Disable",
       [](ConsoleView& v) { control<QPushButton>(v, IDC_ROBOT_CTRL_DISABLE)->click(); }},
  };
  sim::SimulatedBoards boards;
  sim::Simulator& simulator = boards.simulator();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.way);
    simulator.execute("reset drvb");
    ConsoleView view;
    const auto termination = close_on_termination_signals(view);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QTest::mouseClick(view.control(IDC_DRVB_CONNECT), Qt::LeftButton);
    QTest::mouseClick(view.control(IDC_ROBOT_CTRL_ENABLE), Qt::LeftButton);
    VelocityRecord record(simulator);
    QTest::mousePress(view.control(IDC_FRONT), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), view.control(IDC_FRONT));
    ASSERT_TRUE(
        record.first("BE200;200", Clock::now() + std::chrono::milliseconds(250), std::chrono::seconds(2)));
    QTest::qWait(50);  // between two steps of the drive

    const Clock::time_point event = Clock::now();
    c.end(view);
    // A signal reaches the window through its event loop.
    EXPECT_TRUE(wait_until([&] { return !view.isVisible() || !view.logic().m_bRobotCtrlRun; }, 2000));
    const double ended_ms = ms(Clock::now() - event);
    const auto stop = record.first("BE;", event, std::chrono::seconds(1));
    ASSERT_TRUE(stop) << "no stop after the event";
    view.reject();  // all gone: nothing may follow the stop
    const auto velocities = record.velocities();
    EXPECT_EQ(velocities.back().command, "BE;");
    Clock::time_point last_drive = event;
    for (const auto& v : velocities) {
      if (v.command != "BE;" && v.seen <= *stop) last_drive = v.seen;
    }
    std::printf("%s: stop %.1f ms after the event, %.1f ms after the last drive command; ended in %.1f ms\n",
                c.way, ms(*stop - event), ms(*stop - last_drive), ended_ms);
    // Well inside the board's 500 ms communication time-out.
    EXPECT_LT(ms(*stop - event), 400.0);
    const sim::SimStatus status = simulator.status();
    EXPECT_EQ(status.drive_error_left, 0);
    EXPECT_EQ(status.drive_error_right, 0);
  }
}

}  // namespace
}  // namespace tavik::test
