// An operator's session through real widget events against the simulated
// boards: connect, poll, switch a device, jog, close.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "console/core/control_ids.h"
#include "console/qt/drop_down_list.h"
#include "console/qt/remembered_ports.h"
#include "qt_support.h"
#include "sim/simulated_boards.h"

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

// A key sent where the window system sends it: to the focused widget.
void send_key(QEvent::Type type, Qt::Key key, bool repeat = false) {
  QKeyEvent event(type, key, Qt::NoModifier, QString(), repeat);
  QApplication::sendEvent(QApplication::focusWidget(), &event);
}

// COM23, beyond the lists' COM20, is the power & sensor board's link too:
// listed as the system's, typed, opened as typed and selected at the next
// start.
TEST(ConsoleSession, ATypedPortIsListedOpenedAsTypedAndRemembered) {
  sim::SimulatedBoards boards;
  const std::filesystem::path dir = boards.com_dir();
  std::filesystem::create_symlink(std::filesystem::read_symlink(dir / "COM7"), dir / "COM23");
  {
    ConsoleView view;
    EXPECT_TRUE(items(view, IDC_PSB_PORT).contains("COM23"));
    auto* list = qobject_cast<DropDownList*>(view.control(IDC_PSB_PORT));
    list->lineEdit()->clear();
    QTest::keyClicks(list->lineEdit(), "COM23");
    EXPECT_EQ(list->selection(), -1);
    click(view, IDC_PSB_CONNECT);
    EXPECT_TRUE(boards.simulator().client_attached(Board::kPsb));
    EXPECT_EQ(text(view, IDC_LINK_PSB_PORT), "COM23");
    click(view, IDC_PSB_DISCONNECT);
  }
  ConsoleView next;
  EXPECT_EQ(text(next, IDC_PSB_PORT), "COM23");
  remember_port("PsbPort", "");  // the other tests start on the defaults
}

TEST(ConsoleSession, KeysJogAsTheMouseDoesAndLosingTheWindowLetsGo) {
  sim::SimulatedBoards boards;
  sim::Simulator& simulator = boards.simulator();
  ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  click(view, IDC_DRVB_CONNECT);
  click(view, IDC_ROBOT_CTRL_ENABLE);
  auto drives = [&](int left, int right) {
    return wait_until([&] {
      const sim::SimStatus s = simulator.status();
      return s.velocity_left == left && s.velocity_right == right;
    });
  };

  // Held while the key is down (its repeats change nothing), stopped when
  // it comes up; the arrows leave the field and the lists their own use.
  struct Case {
    const char* what;
    int focus;
    Qt::Key key;
    int left, right;  // 0, 0: the key does not jog
  };
  const Case cases[] = {
      {"Space on Left", IDC_LEFT, Qt::Key_Space, -200, 200},
      {"Enter on Rear", IDC_REAR, Qt::Key_Return, -200, -200},
      {"Up on a button", IDC_PSB_CONNECT, Qt::Key_Up, 200, 200},
      {"Right on a read-out", IDC_ENCODER_LEFT, Qt::Key_Right, 200, -200},
      {"Left in Write Param Value", IDC_WRITE_PARAM_VALUE, Qt::Key_Left, 0, 0},
      {"Down in a list", IDC_PARAM_SELECT, Qt::Key_Down, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    view.control(c.focus)->setFocus();
    send_key(QEvent::KeyPress, c.key);
    send_key(QEvent::KeyRelease, c.key, true);
    send_key(QEvent::KeyPress, c.key, true);
    EXPECT_EQ(view.logic().m_bFrontHeld || view.logic().m_bRearHeld || view.logic().m_bLeftHeld ||
                  view.logic().m_bRightHeld,
              c.left != 0);
    EXPECT_TRUE(drives(c.left, c.right));
    send_key(QEvent::KeyRelease, c.key);
    EXPECT_TRUE(drives(0, 0));
    EXPECT_TRUE(view.isVisible()) << "Enter clicked something that closed the window";
  }
  // Robot Control disabled: an arrow is only an arrow.
  click(view, IDC_ROBOT_CTRL_DISABLE);
  view.control(IDC_PSB_CONNECT)->setFocus();
  send_key(QEvent::KeyPress, Qt::Key_Up);
  EXPECT_FALSE(view.logic().m_bFrontHeld);
  send_key(QEvent::KeyRelease, Qt::Key_Up);
  click(view, IDC_ROBOT_CTRL_ENABLE);

  QTest::mousePress(view.control(IDC_REAR), Qt::LeftButton);
  EXPECT_TRUE(view.logic().m_bRearHeld);
  EXPECT_TRUE(drives(-200, -200));

  // Another window takes the focus while the button is held.
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  EXPECT_FALSE(view.logic().m_bRearHeld);
  EXPECT_TRUE(drives(0, 0));
  other.close();
  view.reject();
}

}  // namespace
}  // namespace tavik::test
