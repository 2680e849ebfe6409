// The window bound to the console's logic, without boards: its state after
// start-up, the ways of closing it, its lists, its message box, and updates
// that arrive from worker threads.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "console/core/control_ids.h"
#include "console/qt/drop_down_list.h"
#include "qt_support.h"

namespace tavik::test {
namespace {

using namespace console;  // the control IDs

QStringList com_ports() {
  QStringList out;
  for (int i = 1; i <= 20; ++i) out << QString("COM%1").arg(i);
  return out;
}

TEST(ConsoleView, StateAfterStartUp) {
  ConsoleView view;
  EXPECT_EQ(items(view, IDC_PSB_PORT), com_ports());
  EXPECT_EQ(items(view, IDC_DRVB_PORT), com_ports());
  EXPECT_EQ(text(view, IDC_PSB_PORT), "COM7");
  EXPECT_EQ(text(view, IDC_DRVB_PORT), "COM8");
  EXPECT_EQ(view.GetListSelection(IDC_PSB_PORT), 6);
  EXPECT_EQ(view.GetListSelection(IDC_DRVB_PORT), 7);
  EXPECT_EQ(items(view, IDC_USONIC_MAX_DIST), QStringList({"150 cm", "200 cm", "250 cm", "300 cm", "350 cm",
                                                           "400 cm", "450 cm", "500 cm", "550 cm"}));
  EXPECT_EQ(view.GetListSelection(IDC_USONIC_MAX_DIST), 0);
  EXPECT_EQ(items(view, IDC_PARAM_SELECT), QStringList({"Max Velocity", "Drive Comm. Err Time", "A/D Time"}));
  EXPECT_EQ(text(view, IDC_PARAM_SELECT), "Max Velocity");

  const std::set<int> disabled = {IDC_PSB_DISCONNECT,
                                  IDC_DRVB_DISCONNECT,
                                  IDC_USONIC_DISABLE,
                                  IDC_POWER_DATA_DISABLE,
                                  IDC_ROBOT_CTRL_DISABLE,
                                  IDC_FRONT,
                                  IDC_REAR,
                                  IDC_LEFT,
                                  IDC_RIGHT,
                                  IDC_EMG_DISABLE,
                                  IDC_ENCODER_DISABLE};
  for (const BuiltControl& c : view.controls()) {
    EXPECT_EQ(c.widget->isEnabled(), !disabled.count(c.source->id)) << c.source->id;
  }
  for (int id = IDC_USONIC_RANGE1; id <= IDC_USONIC_RANGE7; ++id) EXPECT_EQ(text(view, id), "0") << id;
  for (int id = IDC_USONIC_BAR1; id <= IDC_USONIC_BAR7; ++id) {
    auto* bar = control<QProgressBar>(view, id);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 150);
    EXPECT_EQ(bar->value(), 0);
  }
  for (int id : {IDC_BATTERY_VOLT, IDC_CONSUM_CUR, IDC_DRIVE_STATE, IDC_ENCODER_LEFT, IDC_READ_PARAM_VALUE,
                 IDC_WRITE_PARAM_VALUE, IDC_WHEEL_ERR_RIGHT}) {
    EXPECT_EQ(text(view, id), "") << id;
  }
}

TEST(ConsoleView, EnterKeepsTheWindowOpenAndEscOrTheCloseBoxCloseIt) {
  // Enter in the write field writes, as the Write button does; in any other
  // field or list it does nothing. Esc and the close box close the window.
  enum class How { Escape, Enter, CloseBox };
  struct Case {
    How how;
    int focus;
    bool closes;
    const char* write_param;  // what the logic took from field 1066
  } cases[] = {
      {How::Enter, IDC_WRITE_PARAM_VALUE, false, "500"},
      {How::Enter, IDC_PSB_PORT, false, ""},
      {How::Enter, IDC_PARAM_SELECT, false, ""},
      {How::Enter, IDC_USONIC_MAX_DIST, false, ""},
      {How::Enter, IDC_READ_PARAM_VALUE, false, ""},
      {How::Escape, IDC_WRITE_PARAM_VALUE, true, ""},
      {How::Escape, IDC_PSB_PORT, true, ""},
      {How::Escape, IDC_PARAM_SELECT, true, ""},
      {How::CloseBox, IDC_PSB_CONNECT, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "focus on " << c.focus << ", way " << int(c.how));
    ConsoleView view;
    int finished = -1;
    QObject::connect(&view, &QDialog::finished, [&](int result) { finished = result; });
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    QTest::keyClicks(view.control(IDC_WRITE_PARAM_VALUE), "500");
    view.control(c.focus)->setFocus();
    ASSERT_TRUE(view.control(c.focus)->hasFocus());
    if (c.how == How::CloseBox)
      view.close();
    else
      QTest::keyClick(QApplication::focusWidget(), c.how == How::Enter ? Qt::Key_Return : Qt::Key_Escape);
    EXPECT_EQ(view.logic().m_strWriteParam, c.write_param);
    EXPECT_EQ(view.isVisible(), !c.closes);
    EXPECT_EQ(view.logic().m_bPowerCtrlRun, !c.closes);
    if (!c.closes) view.close();
    EXPECT_EQ(finished, QDialog::Rejected);
    EXPECT_FALSE(view.isVisible());
    // The logic has stopped: no worker runs any more.
    EXPECT_FALSE(view.logic().m_bPowerCtrlRun);
  }
}

// A button that disables itself as it is clicked (Connect, the Enables)
// does not keep the keyboard focus: Esc still closes the window.
TEST(ConsoleView, EscClosesAfterAButtonDisabledItself) {
  for (int id : {IDC_PSB_CONNECT, IDC_DRVB_CONNECT, IDC_POWER_DATA_ENABLE, IDC_USONIC_ENABLE,
                 IDC_ROBOT_CTRL_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) {
    SCOPED_TRACE(testing::Message() << "button " << id);
    ConsoleView view;
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.control(id)->setEnabled(true);
    view.control(id)->setFocus();
    ASSERT_TRUE(view.control(id)->hasFocus());
    view.EnableControl(id, false);  // as the logic does on the click, from the GUI thread
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_NE(QApplication::focusWidget(), view.control(id));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(view.isVisible());
  }
}

TEST(ConsoleView, EnterOnAFocusedButtonClicksIt) {
  ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  // USonic Enable without a connection: the logic's modal message.
  QString message, title;
  when_opens<QMessageBox>([&](QMessageBox* box) {
    message = box->text();
    title = box->windowTitle();
    QTest::keyClick(box, Qt::Key_Return);
  });
  view.control(IDC_USONIC_ENABLE)->setFocus();
  QTest::keyClick(view.control(IDC_USONIC_ENABLE), Qt::Key_Return);
  EXPECT_EQ(message, "Serial Not Connect!!!");
  EXPECT_EQ(title, "Tavik V1 Basic");
  EXPECT_TRUE(view.isVisible());
  EXPECT_FALSE(view.logic().m_bUsonicRun);
  view.reject();
}

TEST(ConsoleView, TypingIntoAPortListLeavesNothingSelected) {
  ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
  auto* list = control<DropDownList>(view, IDC_PSB_PORT);
  ASSERT_EQ(view.GetListSelection(IDC_PSB_PORT), 6);
  QTest::keyClick(list, Qt::Key_Backspace);
  QTest::keyClicks(list, "9");
  EXPECT_EQ(list->currentText(), "COM9");
  EXPECT_EQ(view.GetListSelection(IDC_PSB_PORT), -1);
  EXPECT_EQ(list->count(), 20) << "typed text is not added as an entry";
  // Picking from the list selects again.
  list->setCurrentIndex(11);
  emit list->activated(11);
  EXPECT_EQ(view.GetListSelection(IDC_PSB_PORT), 11);
  // Inserting ahead of the selected entry keeps that entry selected.
  view.InsertListItem(IDC_PSB_PORT, 0, "COM0");
  EXPECT_EQ(view.GetListSelection(IDC_PSB_PORT), 12);
  // Inserting into a list without a selection selects nothing.
  view.SetListSelection(IDC_PSB_PORT, -1);
  EXPECT_EQ(view.GetListSelection(IDC_PSB_PORT), -1);
  view.InsertListItem(IDC_PARAM_SELECT, -1, "Extra");
  view.SetListSelection(IDC_PARAM_SELECT, -1);
  view.InsertListItem(IDC_PARAM_SELECT, 0, "First");
  EXPECT_EQ(view.GetListSelection(IDC_PARAM_SELECT), -1);
  EXPECT_EQ(items(view, IDC_PARAM_SELECT).front(), "First");
  EXPECT_EQ(items(view, IDC_PARAM_SELECT).back(), "Extra");
  view.reject();
}

// Records which widgets receive paint events.
class PaintLog : public QObject {
 public:
  std::set<QObject*> painted;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted.insert(watched);
    return false;
  }
};

TEST(ConsoleView, ANewReadOutValueRepaintsThatFieldAlone) {
  ConsoleView view;
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  PaintLog log;
  qApp->installEventFilter(&log);
  // Edits inside and outside group boxes, and a label of the link panel.
  for (int id : {IDC_USONIC_RANGE1, IDC_ENCODER_LEFT, IDC_BATTERY_VOLT, IDC_LINK_PSB_STATE}) {
    SCOPED_TRACE(id);
    QApplication::processEvents();
    log.painted.clear();
    view.SetControlText(id, "123.456");
    ASSERT_TRUE(wait_until([&] { return log.painted.count(view.control(id)) > 0; }));
    QApplication::processEvents();
    EXPECT_EQ(log.painted, std::set<QObject*>{view.control(id)}) << "neither the dialog nor a group box";
  }
  qApp->removeEventFilter(&log);
  view.reject();
}

TEST(ConsoleView, WorkerUpdatesReachTheWidgetsOnTheGuiThreadInOrder) {
  ConsoleView view;
  auto* field = control<QLineEdit>(view, IDC_ENCODER_LEFT);
  auto* button = view.control(IDC_EMG_DISABLE);
  auto* bar = control<QProgressBar>(view, IDC_USONIC_BAR1);
  std::vector<QString> seen;
  bool off_thread = false;
  QObject::connect(field, &QLineEdit::textChanged, [&](const QString& t) {
    off_thread = off_thread || QThread::currentThread() != view.thread();
    seen.push_back(t);
  });

  // The GUI thread is busy joining the worker while the worker writes.
  constexpr int kCount = 500;
  std::thread worker([&] {
    for (int i = 0; i < kCount; ++i) view.SetControlText(IDC_ENCODER_LEFT, std::to_string(i));
    view.EnableControl(IDC_EMG_DISABLE, true);
    view.SetProgressRange(IDC_USONIC_BAR1, 0, 40);
    view.SetProgressPos(IDC_USONIC_BAR1, 99);  // clamped to the range, as a Windows bar does
    view.EnableControl(IDC_EMG_DISABLE, false);
    view.EnableControl(IDC_EMG_DISABLE, true);
  });
  worker.join();
  EXPECT_TRUE(seen.empty()) << "nothing was applied on the worker's thread";
  EXPECT_EQ(field->text(), "");
  EXPECT_FALSE(button->isEnabled());

  ASSERT_TRUE(wait_until([&] { return button->isEnabled(); }));
  EXPECT_FALSE(off_thread);
  // Texts replaced before a refresh could show them are skipped; the last stays.
  ASSERT_FALSE(seen.empty());
  EXPECT_LT(seen.size(), std::size_t(kCount));
  EXPECT_EQ(seen.back(), QString::number(kCount - 1));
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(),
                             [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); }));
  EXPECT_EQ(bar->maximum(), 40);
  EXPECT_EQ(bar->value(), 40);

  // From the GUI thread an update applies at once, after those still queued.
  std::thread([&] { view.SetControlText(IDC_ENCODER_LEFT, "queued"); }).join();
  view.SetControlText(IDC_ENCODER_LEFT, "direct");
  EXPECT_EQ(field->text(), "direct");
  QApplication::processEvents();
  EXPECT_EQ(field->text(), "direct");
  EXPECT_EQ(seen.back(), "direct");
  EXPECT_EQ(seen[seen.size() - 2], "queued");
}

}  // namespace
}  // namespace tavik::test
