// Helpers for tests of the console's real widgets (QT_QPA_PLATFORM=offscreen).
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "console/qt/console_view.h"

namespace tavik::test {

// Runs the event loop until `pred` holds; false after `timeout_ms`.
inline bool wait_until(const std::function<bool()>& pred, int timeout_ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!pred()) {
    if (clock.elapsed() > timeout_ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Runs `action` on the next popup or modal window of type Window that opens,
// from inside that window's own event loop. Gives up after 5 s.
template <typename Window>
void when_opens(std::function<void(Window*)> action) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [timer, clock, action = std::move(action)] {
    Window* window = qobject_cast<Window*>(QApplication::activePopupWidget());
    if (!window) window = qobject_cast<Window*>(QApplication::activeModalWidget());
    if (!window && clock->elapsed() < 5000) return;
    timer->stop();
    timer->deleteLater();
    delete clock;
    if (window) action(window);
  });
  timer->start(10);
}

template <typename Widget = QWidget>
Widget* control(console::ConsoleView& view, int id) {
  return qobject_cast<Widget*>(view.control(id));
}

inline QString text(console::ConsoleView& view, int id) {
  if (auto* edit = control<QLineEdit>(view, id)) return edit->text();
  if (auto* button = control<QPushButton>(view, id)) return button->text();
  if (auto* list = control<QComboBox>(view, id)) return list->currentText();
  if (auto* label = control<QLabel>(view, id)) return label->text();
  return {};
}

inline QStringList items(console::ConsoleView& view, int id) {
  QStringList out;
  if (auto* list = control<QComboBox>(view, id)) {
    for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
  }
  return out;
}

}  // namespace tavik::test
