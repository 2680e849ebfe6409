// A dialog larger than the room its screen has, even at the smallest font:
// it opens as large as the room and scrolls its controls, so that every one
// stays within reach (scroll bars, the mouse wheel, and the focus, which
// brings the control it moves to into view).
#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>
#include <utility>
#include <vector>

class QDialog;
class QScrollBar;
class QWidget;

namespace tavik::console {

class DialogScroller : public QObject {
 public:
  // Sizes `dialog`, whose controls are all made, to at most `room` and
  // scrolls them when they do not fit; nothing changes when they do.
  DialogScroller(QDialog& dialog, QSize room);

  // How far the controls can be moved: 0, 0 when they fit.
  QPoint range() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void place();
  void show_focus(QWidget* now);

  QDialog& dialog_;
  std::vector<std::pair<QWidget*, QPoint>> places_;
  QScrollBar* across_ = nullptr;
  QScrollBar* down_ = nullptr;
};

}  // namespace tavik::console
