#include "console/qt/scrolled_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

namespace tavik::console {

DialogScroller::DialogScroller(QDialog& dialog, QSize room) : QObject(&dialog), dialog_(dialog) {
  const QSize content = dialog.size();
  if (content.width() <= room.width() && content.height() <= room.height()) return;
  for (QWidget* w : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!w->isWindow()) places_.emplace_back(w, w->pos());
  }
  // A bar across takes height from the view, which may then need one down too.
  const int bar = dialog.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &dialog);
  bool wide = content.width() > room.width(), tall = content.height() > room.height();
  tall = tall || (wide && content.height() > room.height() - bar);
  wide = wide || (tall && content.width() > room.width() - bar);
  const QSize view(std::min(content.width(), room.width()), std::min(content.height(), room.height()));
  const int seen_x = view.width() - (tall ? bar : 0), seen_y = view.height() - (wide ? bar : 0);
  dialog.setFixedSize(view);
  auto make_bar = [&](Qt::Orientation orientation, int extent, int seen, QRect where) {
    auto* scroll = new QScrollBar(orientation, &dialog);
    scroll->setRange(0, extent - seen);
    scroll->setPageStep(seen);
    scroll->setSingleStep(std::max(1, seen / 20));
    scroll->setGeometry(where);
    connect(scroll, &QScrollBar::valueChanged, this, &DialogScroller::place);
    return scroll;
  };
  if (wide) {
    across_ = make_bar(Qt::Horizontal, content.width(), seen_x, QRect(0, seen_y, seen_x, bar));
  }
  if (tall) down_ = make_bar(Qt::Vertical, content.height(), seen_y, QRect(seen_x, 0, bar, seen_y));
  dialog.installEventFilter(this);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { show_focus(now); });
}

QPoint DialogScroller::range() const {
  return {across_ ? across_->maximum() : 0, down_ ? down_->maximum() : 0};
}

bool DialogScroller::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &dialog_ && event->type() == QEvent::Wheel) {
    const auto* wheel = static_cast<QWheelEvent*>(event);
    QScrollBar* bar = down_ && !(wheel->modifiers() & Qt::ShiftModifier) ? down_ : across_;
    if (bar) {
      const int notches = wheel->angleDelta().y() != 0 ? wheel->angleDelta().y() : wheel->angleDelta().x();
      bar->setValue(bar->value() - notches * bar->singleStep() * 3 / 120);
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

void DialogScroller::place() {
  const QPoint by(across_ ? across_->value() : 0, down_ ? down_->value() : 0);
  for (const auto& [widget, at] : places_) widget->move(at - by);
}

void DialogScroller::show_focus(QWidget* now) {
  if (now == nullptr || now->window() != &dialog_) return;
  QWidget* control = now;
  while (control->parentWidget() != &dialog_) {
    control = control->parentWidget();
    if (control == nullptr) return;
  }
  const auto it =
      std::find_if(places_.begin(), places_.end(), [&](const auto& p) { return p.first == control; });
  if (it == places_.end()) return;
  const QRect r(it->second, control->size());
  auto follow = [](QScrollBar* bar, int start, int end) {
    if (!bar) return;
    if (start < bar->value())
      bar->setValue(start);
    else if (end > bar->value() + bar->pageStep())
      bar->setValue(end - bar->pageStep());
  };
  follow(across_, r.left(), r.right() + 1);
  follow(down_, r.top(), r.bottom() + 1);
}

}  // namespace tavik::console
