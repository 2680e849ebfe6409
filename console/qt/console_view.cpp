#include "console/qt/console_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <algorithm>
#include <unordered_set>

#include "console/core/control_ids.h"
#include "console/core/window_placement.h"
#include "console/qt/about_dlg.h"
#include "console/qt/app_icon.h"
#include "console/qt/drop_down_list.h"
#include "console/qt/remembered_ports.h"
#include "console/qt/system_ports.h"
#include "console/qt/text_fit.h"
#include "console/qt/utf8_text.h"
#include "console/res/dialog_template.h"
#include "console/res/resource.h"
#include "console/res/string_table.h"

namespace tavik::console {
namespace {

// Worker updates are applied together four times a second while they come,
// as often as a person reads a changing number (a bench meter shows two or
// three readings a second). Each refresh wakes the GUI thread and runs the
// text and paint path from cold caches; at the pollers' own rate the window
// would cost more than twice as much.
constexpr int kRefreshMs = 250;

ScreenRect screen_rect(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

}  // namespace

ConsoleView::ConsoleView(QWidget* parent) : QDialog(parent) {
  controls_ = build_dialog(*this, main_dialog_template());
  for (const BuiltControl& c : controls_) {
    if (c.source->id != IDC_STATIC) by_id_.emplace(c.source->id, c.widget);
  }
  link_controls_ = add_controls(*this, link_panel_controls());
  for (const BuiltControl& c : link_controls_) {
    if (c.source->id != IDC_STATIC) by_id_.emplace(c.source->id, c.widget);
  }
  setWindowIcon(app_icon());

  refresh_.setInterval(kRefreshMs);
  connect(&refresh_, &QTimer::timeout, this, &ConsoleView::refreshTick);

  logic_ = std::make_unique<CConsoleDlg>(*this);
  for (const BuiltControl& c : controls_) {
    if (auto* button = qobject_cast<QPushButton*>(c.widget)) {
      int id = c.source->id;
      connect(button, &QPushButton::clicked, this, [this, id] { logic_->OnCommand(id); });
    }
  }
  // Jog buttons are dead-man switches: a press anywhere on one holds it, a
  // release anywhere lets go. The application's filter sees both.
  qApp->installEventFilter(this);

  // Window managers keep the system menu to themselves; the About entry is
  // offered by the context menu of the window's surface and by F1.
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
  auto* trends = new QShortcut(QKeySequence(Qt::Key_F2), this);
  connect(trends, &QShortcut::activated, this, &ConsoleView::OnTrends);

  logic_->OnInitDialog();
  // The lists are filled now: every text whole in its control.
  fit_texts(controls_);
  fit_texts(link_controls_);
  if (!parentWidget() && screen()) scroller_ = new DialogScroller(*this, window_room(screen()));
}

ConsoleView::~ConsoleView() {
  qApp->removeEventFilter(this);
  delete trends_;  // it draws the logic's history
  logic_.reset();
}

QWidget* ConsoleView::control(int id) const {
  auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : it->second;
}

void ConsoleView::OnSysCommand(int command) {
  if ((command & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about(this);
    about.adjustSize();
    if (const QScreen* screen = this->screen()) {
      const ScreenPoint at =
          over_top(screen_rect(frameGeometry()), about.frameGeometry().width(),
                   about.frameGeometry().height(), screen_rect(screen->availableGeometry()));
      about.move(at.x, at.y);
    }
    about.exec();
  }
}

void ConsoleView::OnTrends() {
  if (!trends_) {
    trends_ = new TrendsWindow(logic_->trends(), this);
    if (const QScreen* screen = this->screen()) {
      const ScreenPoint at = beside(screen_rect(frameGeometry()), trends_->width(), trends_->height(),
                                    screen_rect(screen->availableGeometry()));
      trends_->move(at.x, at.y);
    }
  }
  trends_->show();
  trends_->raise();
  trends_->activateWindow();
}

void ConsoleView::done(int result) {
  if (trends_) {
    trends_open_at_close_ = trends_->isVisible();
    trends_->hide();
  }
  QDialog::done(result);
  if (!destroyed_) {
    destroyed_ = true;
    logic_->OnDestroy();
  }
}

int ConsoleView::GetListSelection(int id) {
  require_gui_thread("GetListSelection");
  auto* list = qobject_cast<DropDownList*>(control(id));
  return list ? list->selection() : -1;
}

void ConsoleView::SetListSelection(int id, int index) {
  require_gui_thread("SetListSelection");
  if (auto* list = qobject_cast<DropDownList*>(control(id))) list->select(index);
}

void ConsoleView::InsertListItem(int id, int index, const std::string& text) {
  require_gui_thread("InsertListItem");
  if (auto* list = qobject_cast<DropDownList*>(control(id))) list->insert(index, from_utf8(text));
}

void ConsoleView::ShowMessage(const std::string& text) {
  require_gui_thread("ShowMessage");
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavik V1 Basic"), from_utf8(text), QMessageBox::Ok,
                  this);
  box.button(QMessageBox::Ok)->setText(QStringLiteral("확인"));
  box.exec();
}

std::string ConsoleView::GetWriteParamText() {
  require_gui_thread("GetWriteParamText");
  auto* edit = qobject_cast<QLineEdit*>(control(IDC_WRITE_PARAM_VALUE));
  return edit ? edit->text().toStdString() : std::string();
}

std::string ConsoleView::GetListText(int id) {
  require_gui_thread("GetListText");
  auto* list = qobject_cast<DropDownList*>(control(id));
  return list ? list->currentText().toStdString() : std::string();
}

std::vector<SystemPort> ConsoleView::SystemPorts() { return system_ports(); }

std::string ConsoleView::RememberedPort(const std::string& key) { return remembered_port(key); }

void ConsoleView::RememberPort(const std::string& key, const std::string& name) { remember_port(key, name); }

void ConsoleView::queue(ControlUpdate update) {
  bool first = updates_.push(std::move(update));
  if (QThread::currentThread() == thread()) {
    applyQueuedUpdates();
  } else if (first && !refreshing_) {
    // Updates from the workers are applied together every kRefreshMs: one
    // repaint for what five pollers wrote in between. The refresh runs for
    // as long as they write; the first update after a pause starts it.
    QMetaObject::invokeMethod(this, "scheduleRefresh", Qt::QueuedConnection);
  }
}

void ConsoleView::scheduleRefresh() {
  if (refresh_.isActive()) return;
  refreshing_ = true;
  refresh_.start();
}

void ConsoleView::refreshTick() {
  std::vector<ControlUpdate> batch = updates_.take_all();
  if (batch.empty()) {
    refreshing_ = false;
    refresh_.stop();
    // A worker that saw the refresh still running did not ask for it.
    if (!updates_.empty()) scheduleRefresh();
    return;
  }
  // A text that a later one in the same batch replaces would never be seen:
  // each control gets its last.
  std::unordered_set<int> has_later_text;
  std::vector<bool> superseded(batch.size());
  for (std::size_t i = batch.size(); i-- > 0;) {
    if (batch[i].kind == ControlUpdate::Kind::Text)
      superseded[i] = !has_later_text.insert(batch[i].id).second;
  }
  for (std::size_t i = 0; i < batch.size(); ++i) {
    if (!superseded[i]) apply(batch[i]);
  }
}

void ConsoleView::applyQueuedUpdates() {
  for (const ControlUpdate& update : updates_.take_all()) apply(update);
}

void ConsoleView::apply(const ControlUpdate& update) {
  require_gui_thread("a control update");
  QWidget* widget = control(update.id);
  if (!widget) return;
  switch (update.kind) {
    case ControlUpdate::Kind::Enable:
      widget->setEnabled(update.first != 0);
      break;
    case ControlUpdate::Kind::Text: {
      QString text = from_utf8(update.text);
      if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // Show the start of a text that is wider than the field, as Windows does.
        edit->setText(text);
        edit->setCursorPosition(0);
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(text);
      else if (auto* list = qobject_cast<QComboBox*>(widget))
        list->setEditText(text);
      else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(text);
      else if (auto* group = qobject_cast<QGroupBox*>(widget))
        group->setTitle(text);
      break;
    }
    case ControlUpdate::Kind::Range:
      if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
        bar->setRange(update.first, std::max(update.first, update.second));
      }
      break;
    case ControlUpdate::Kind::Position:
      if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
        bar->setValue(std::clamp(update.first, bar->minimum(), bar->maximum()));
      }
      break;
    case ControlUpdate::Kind::Stale: {
      // Greyed as a disabled field's text, the value kept and still selectable.
      const bool stale = update.first != 0;
      QPalette palette = widget->palette();
      palette.setColor(QPalette::Text,
                       this->palette().color(stale ? QPalette::Disabled : QPalette::Active, QPalette::Text));
      widget->setPalette(palette);
      widget->setProperty(kStaleProperty, stale);
      break;
    }
  }
}

void ConsoleView::require_gui_thread(const char* operation) const {
  if (QThread::currentThread() != thread()) qFatal("ConsoleView: %s off the GUI thread", operation);
}

int ConsoleView::control_id(const QWidget* widget) const {
  for (const auto& [id, control] : by_id_) {
    if (control == widget) return id;
  }
  return 0;
}

int ConsoleView::jog_id(QObject* object) const {
  for (int id : kJogButtons) {
    if (object == control(id)) return id;
  }
  return 0;
}

void ConsoleView::keyPressEvent(QKeyEvent* event) {
  // The console's keys were taken on their way in (filterKey). Enter is
  // kept from the dialog's own handling, which would click a default
  // button: the window has none.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
  QDialog::keyPressEvent(event);
}

void ConsoleView::contextMenuEvent(QContextMenuEvent* event) {
  // As the Windows console's menus: About, then Trends.
  QMenu menu(this);
  QAction* about = nullptr;
  if (std::string_view entry = load_string(IDS_ABOUTBOX); !entry.empty()) {
    about = menu.addAction(from_utf8(entry));
    about->setShortcut(QKeySequence(Qt::Key_F1));
  }
  QAction* trends = menu.addAction(QStringLiteral("Trends…"));
  trends->setShortcut(QKeySequence(Qt::Key_F2));
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == trends)
    OnTrends();
  else if (chosen && chosen == about)
    OnSysCommand(IDM_ABOUTBOX);
}

void ConsoleView::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && !isActiveWindow() && logic_) logic_->OnJogReleased();
  QDialog::changeEvent(event);
}

bool ConsoleView::eventFilter(QObject* watched, QEvent* event) {
  if (logic_ && (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    // Once, where the key arrives first: not again on its way up to the window.
    QWidget* focus = QApplication::focusWidget();
    if (watched == (focus ? focus : this) && static_cast<QWidget*>(watched)->window() == this &&
        filterKey(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event))) {
      return true;
    }
  }
  if (logic_ && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton) {
      if (event->type() == QEvent::MouseButtonRelease) {
        logic_->OnJogReleased();
      } else if (int id = jog_id(watched); id != 0 && static_cast<QWidget*>(watched)->isEnabled()) {
        logic_->OnJogPressed(id);
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

Focus ConsoleView::focus_kind(QWidget* target) const {
  if (target == this) return Focus::kNone;
  if (jog_id(target) != 0) return Focus::kJogButton;
  if (qobject_cast<QAbstractButton*>(target)) return Focus::kButton;
  if (qobject_cast<QComboBox*>(target)) return Focus::kList;
  if (auto* edit = qobject_cast<QLineEdit*>(target); edit && !edit->isReadOnly()) return Focus::kEditable;
  return Focus::kOther;
}

bool ConsoleView::filterKey(QWidget* target, QKeyEvent* key) {
  static constexpr std::pair<int, Key> kKeys[] = {
      {Qt::Key_Escape, Key::kEscape}, {Qt::Key_Return, Key::kReturn}, {Qt::Key_Enter, Key::kReturn},
      {Qt::Key_Space, Key::kSpace},   {Qt::Key_Up, Key::kUp},         {Qt::Key_Down, Key::kDown},
      {Qt::Key_Left, Key::kLeft},     {Qt::Key_Right, Key::kRight},
  };
  const auto known =
      std::find_if(std::begin(kKeys), std::end(kKeys), [&](const auto& k) { return k.first == key->key(); });
  if (known == std::end(kKeys)) return false;
  KeyEvent event;
  event.key = known->second;
  event.press = key->type() == QEvent::KeyPress;
  event.repeat = key->isAutoRepeat();
  event.modified = (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier;
  event.focus = focus_kind(target);
  event.focus_id = control_id(target);
  const KeyAction action = logic_->OnKey(event);
  auto* button = qobject_cast<QAbstractButton*>(target);
  switch (action.kind) {
    case KeyAction::Kind::kNone:
      return false;
    case KeyAction::Kind::kClose:
      // Also from a button the mouse or the space bar holds down, which
      // would take Esc as the end of its press.
      reject();
      break;
    case KeyAction::Kind::kClickFocused:
      if (button && button->isEnabled()) button->click();
      break;
    case KeyAction::Kind::kJogPress:
    case KeyAction::Kind::kJogRelease:
      if (action.shows_focused && button) button->setDown(action.kind == KeyAction::Kind::kJogPress);
      break;
    case KeyAction::Kind::kTaken:
    case KeyAction::Kind::kEnter:
      break;
  }
  return true;
}

}  // namespace tavik::console
