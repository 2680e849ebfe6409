// An operator's session through real widget events against the simulated
// boards: connect, poll, switch a device, jog, close.
#include <gtest/gtest.h>

#include <QTest>
#include <cmath>
#include <cstdio>

#include "console/core/control_ids.h"
#include "sim/simulated_boards.h"
#include "qt_support.h"

namespace tavik::test {
namespace {

using namespace console;  // the control IDs
using sim::Board;

void click(ConsoleView& view, int id) {
  QWidget* button = view.control(id);
  ASSERT_TRUE(button->isEnabled()) << id;
  QTest::mouseClick(button, Qt::LeftButton);
}

QString on_off(bool on) { return on ? "On" : "Off"; }

TEST(ConsoleSession, ClickPathAgainstTheSimulatedBoards) {
  sim::SimulatedBoards boards;
  sim::Simulator& simulator = boards.simulator();
  ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));

  // Before any poller runs, its read-outs are drawn stale: greyed like a
  // disabled field's text.
  auto* encoder = view.control(IDC_ENCODER_LEFT);
  const QColor grey = view.palette().color(QPalette::Disabled, QPalette::Text);
  EXPECT_TRUE(encoder->property(ConsoleView::kStaleProperty).toBool());
  EXPECT_EQ(encoder->palette().color(QPalette::Text), grey);
  EXPECT_EQ(text(view, IDC_LINK_DRVB_STATE), "not connected");

  // Connect both boards with the lists' default selections (COM7, COM8).
  click(view, IDC_PSB_CONNECT);
  click(view, IDC_DRVB_CONNECT);
  EXPECT_TRUE(simulator.client_attached(Board::kPsb));
  EXPECT_TRUE(simulator.client_attached(Board::kDrvb));
  EXPECT_FALSE(view.control(IDC_PSB_CONNECT)->isEnabled());
  EXPECT_TRUE(view.control(IDC_PSB_DISCONNECT)->isEnabled());
  EXPECT_FALSE(view.control(IDC_DRVB_CONNECT)->isEnabled());
  EXPECT_TRUE(view.control(IDC_DRVB_DISCONNECT)->isEnabled());

  // Every poller, and jogging.
  for (int id : {IDC_USONIC_ENABLE, IDC_POWER_DATA_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE,
                 IDC_ROBOT_CTRL_ENABLE}) {
    click(view, id);
  }
  for (int id : {IDC_USONIC_ENABLE, IDC_POWER_DATA_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE,
                 IDC_ROBOT_CTRL_ENABLE}) {
    EXPECT_FALSE(view.control(id)->isEnabled()) << id;
  }
  for (int id : {IDC_FRONT, IDC_REAR, IDC_LEFT, IDC_RIGHT}) EXPECT_TRUE(view.control(id)->isEnabled()) << id;
  EXPECT_TRUE(wait_until([&] { return simulator.status().servo_on; }));

  // The link panel says both boards answer; the read-outs are current.
  EXPECT_EQ(text(view, IDC_LINK_PSB_PORT), "COM7");
  EXPECT_TRUE(wait_until([&] { return text(view, IDC_LINK_DRVB_STATE) == "answering"; }));
  EXPECT_TRUE(wait_until([&] { return !encoder->property(ConsoleView::kStaleProperty).toBool(); }));
  EXPECT_NE(encoder->palette().color(QPalette::Text), grey);

  // A device switched on from its button shows up in the power data.
  click(view, IDC_LRF_ON);
  EXPECT_TRUE(wait_until([&] { return simulator.status().devices[2]; }));

  // The fields fill with the simulator's values.
  const int state_fields[] = {IDC_DRIVE_STATE, IDC_SENSORS_STATE, IDC_LRF_STATE,  IDC_SBC_STATE,
                              IDC_SG_STATE,    IDC_LCD_STATE,     IDC_SERVO_STATE};
  EXPECT_TRUE(wait_until([&] {
    sim::SimStatus s = simulator.status();
    for (std::size_t i = 0; i < 7; ++i) {
      if (text(view, state_fields[i]) != on_off(s.devices[i])) return false;
    }
    return true;
  })) << text(view, IDC_LRF_STATE).toStdString();
  EXPECT_EQ(text(view, IDC_LRF_STATE), "On");
  EXPECT_TRUE(wait_until([&] {
    // Battery in tenths of a volt, times 100.
    return std::abs(text(view, IDC_BATTERY_VOLT).toInt() - simulator.status().battery_volt * 1000) <= 200;
  })) << text(view, IDC_BATTERY_VOLT).toStdString();
  EXPECT_TRUE(wait_until([&] {
    sim::SimStatus s = simulator.status();
    for (int i = 0; i < 7; ++i) {
      bool ok = false;
      double shown = text(view, IDC_USONIC_RANGE1 + i).toDouble(&ok);
      if (!ok || s.ranges_mm[std::size_t(i)] == 0 ||
          std::abs(shown * 1000 - s.ranges_mm[std::size_t(i)]) > 3) {
        return false;
      }
    }
    return true;
  }));
  EXPECT_TRUE(
      wait_until([&] { return text(view, IDC_EMG) == "Off" && text(view, IDC_BUMPER_LEFT) == "Off"; }));
  const int encoder_before = simulator.status().encoder_left;
  EXPECT_TRUE(wait_until([&] { return text(view, IDC_ENCODER_LEFT) == QString::number(encoder_before); }));

  // Hold Front: the robot drives forward and the encoders move.
  QTest::mousePress(view.control(IDC_FRONT), Qt::LeftButton);
  EXPECT_TRUE(view.logic().m_bFrontHeld);
  EXPECT_TRUE(wait_until([&] {
    sim::SimStatus s = simulator.status();
    return s.velocity_left == 200 && s.velocity_right == 200 && s.encoder_left > encoder_before + 10;
  }));
  EXPECT_TRUE(wait_until([&] { return text(view, IDC_ENCODER_LEFT).toInt() > encoder_before; }));

  // Let go over the window's surface, away from the button: the robot stops.
  QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(view.width() - 10, view.height() - 10));
  EXPECT_FALSE(view.logic().m_bFrontHeld);
  EXPECT_TRUE(wait_until([&] {
    sim::SimStatus s = simulator.status();
    return s.velocity_left == 0 && s.velocity_right == 0;
  }));
  int stopped_at = 0;
  EXPECT_TRUE(wait_until([&] {
    int now = simulator.status().encoder_left;
    bool still = now == stopped_at;
    stopped_at = now;
    QTest::qWait(150);
    return still;
  }));
  EXPECT_TRUE(wait_until([&] { return text(view, IDC_ENCODER_LEFT) == QString::number(stopped_at); }));

  // Esc closes the window; the console lets go of both ports.
  QTest::keyClick(&view, Qt::Key_Escape);
  EXPECT_FALSE(view.isVisible());
  EXPECT_FALSE(simulator.client_attached(Board::kPsb));
  EXPECT_FALSE(simulator.client_attached(Board::kDrvb));
  std::fflush(stdout);
}

TEST(ConsoleSession, LosingTheWindowLetsGoOfTheJogButtons) {
  sim::SimulatedBoards boards;
  ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  click(view, IDC_DRVB_CONNECT);
  click(view, IDC_ROBOT_CTRL_ENABLE);

  // Held by the mouse only: the space bar clicks without holding.
  view.control(IDC_LEFT)->setFocus();
  QTest::keyPress(view.control(IDC_LEFT), Qt::Key_Space);
  EXPECT_FALSE(view.logic().m_bLeftHeld);
  QTest::keyRelease(view.control(IDC_LEFT), Qt::Key_Space);

  QTest::mousePress(view.control(IDC_REAR), Qt::LeftButton);
  EXPECT_TRUE(view.logic().m_bRearHeld);
  EXPECT_TRUE(wait_until([&] { return boards.simulator().status().velocity_left == -200; }));

  // Another window takes the focus while the button is held.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  EXPECT_FALSE(view.logic().m_bRearHeld);
  EXPECT_TRUE(wait_until([&] { return boards.simulator().status().velocity_left == 0; }));
  other.close();
  view.reject();
}

}  // namespace
}  // namespace tavik::test
