// The console's main window: dialog 102 built from its template and bound to
// the console's logic (CConsoleDlg). Clicks go to the logic's handlers; the
// texts, enable states and bar values the logic sets come back through
// ConsoleWindow.
//
// Threads: EnableControl, SetControlText, SetControlStale, SetProgressRange
// and SetProgressPos may be called from any thread. A call queues an update;
// the GUI thread applies the updates in call order, at once when it is the
// caller, else at its next refresh (four a second while updates come; a text
// replaced before that is skipped). Widgets are touched on the GUI thread
// only; every other operation must be called there.
#pragma once

#include <QDialog>
#include <QTimer>
#include <atomic>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "console/core/console_dlg.h"
#include "console/core/control_update_queue.h"
#include "console/core/queued_console_window.h"
#include "console/qt/dialog_builder.h"
#include "console/qt/scrolled_dialog.h"
#include "console/qt/trends_window.h"

class QKeyEvent;

namespace tavik::console {

class ConsoleView : public QDialog, public QueuedConsoleWindow {
  Q_OBJECT

 public:
  // Builds the window and runs the logic's OnInitDialog.
  explicit ConsoleView(QWidget* parent = nullptr);
  // Ends the logic (its workers first), then the widgets.
  ~ConsoleView() override;

  CConsoleDlg& logic() { return *logic_; }
  // The control with ID `id`; nullptr for -1 and unknown IDs.
  QWidget* control(int id) const;
  // Widget property that is true while a read-out is drawn stale.
  static constexpr const char* kStaleProperty = "stale";
  // The template's controls, in template order (the link panel's are not
  // among them; control() finds those too).
  const std::vector<BuiltControl>& controls() const { return controls_; }
  const std::vector<BuiltControl>& link_controls() const { return link_controls_; }
  // How far the controls scroll in a window larger than its screen has room
  // for (0, 0 where it fits).
  QPoint scroll_range() const { return scroller_ ? scroller_->range() : QPoint(); }

  // A system-menu command: IDM_ABOUTBOX opens the About box modally.
  void OnSysCommand(int command);
  // Shows the Trends window (F2, or the context menu's "Trends…"), made on
  // first use; it stays open beside this one.
  void OnTrends();
  // The Trends window; nullptr before it was first opened.
  TrendsWindow* trends() const { return trends_; }
  // The Trends window was open when this window closed.
  bool trends_open_at_close() const { return trends_open_at_close_; }

  // Every way of closing ends here; the logic's OnDestroy runs once the
  // window is hidden.
  void done(int result) override;

  // ConsoleWindow.
  int GetListSelection(int id) override;
  void SetListSelection(int id, int index) override;
  void InsertListItem(int id, int index, const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  std::string GetWriteParamText() override;
  std::string GetListText(int id) override;
  std::vector<SystemPort> SystemPorts() override;
  std::string RememberedPort(const std::string& key) override;
  void RememberPort(const std::string& key, const std::string& name) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void applyQueuedUpdates();
  // Starts applying the queued updates every kRefreshMs (a worker asks for it).
  Q_INVOKABLE void scheduleRefresh();
  // Applies what was queued since the last tick; stops when nothing was.
  void refreshTick();
  void queue(ControlUpdate update) override;
  void apply(const ControlUpdate& update);
  void require_gui_thread(const char* operation) const;
  // The ID of `widget` among the controls; 0 for none.
  int control_id(const QWidget* widget) const;
  int jog_id(QObject* object) const;
  Focus focus_kind(QWidget* target) const;
  // A key on its way to `target` in this window: the console's keys
  // (key_policy.h) go to the logic before any widget sees them. True when
  // taken.
  bool filterKey(QWidget* target, QKeyEvent* key);

  std::vector<BuiltControl> controls_;
  std::vector<BuiltControl> link_controls_;
  std::unordered_map<int, QWidget*> by_id_;
  ControlUpdateQueue updates_;
  QTimer refresh_;                       // applies the workers' updates
  std::atomic<bool> refreshing_{false};  // refresh_ runs: workers need not ask for it
  bool destroyed_ = false;
  DialogScroller* scroller_ = nullptr;  // owned by the window
  TrendsWindow* trends_ = nullptr;      // a child window, made on first use
  bool trends_open_at_close_ = false;
  // Declared last: it ends its workers before the members above go.
  std::unique_ptr<CConsoleDlg> logic_;
};

}  // namespace tavik::console
