// The console's main window on Windows: dialog 102 created by the window
// manager from its template and bound to the console's logic (CConsoleDlg).
// Clicks go to the logic's handlers; the texts, enable states and bar values
// the logic sets come back through ConsoleWindow.
//
// Threads: EnableControl, SetControlText, SetControlStale, SetProgressRange
// and SetProgressPos may be called from any thread. A call queues an update; the
// dialog's thread applies the updates in call order, at once when it is the
// caller, else when it takes the message posted for them. No other thread
// touches a window; every other operation must be called on the dialog's
// thread.
#pragma once

#include <windows.h>

#include <memory>
#include <set>
#include <string>

#include "console/core/console_dlg.h"
#include "console/core/control_update_queue.h"
#include "console/core/queued_console_window.h"
#include "console/win32/dialog_template_builder.h"
#include "console/win32/scrolled_dialog.h"
#include "console/win32/trends_window.h"

namespace tavik::console {

class ConsoleDialog : public QueuedConsoleWindow {
 public:
  // `layout_path`, when given, receives each control's ID and rectangle in
  // screen pixels once the window is up (for scripts that click on it).
  explicit ConsoleDialog(HINSTANCE instance, std::string layout_path = {});
  ~ConsoleDialog() override;
  ConsoleDialog(const ConsoleDialog&) = delete;
  ConsoleDialog& operator=(const ConsoleDialog&) = delete;

  // Runs the window modally; returns once it is closed and the logic's
  // OnDestroy has run.
  INT_PTR DoModal();
  // Creates the window without a modal loop of its own (tests); DestroyWindow
  // ends it.
  HWND Create();

  HWND hwnd() const { return hwnd_; }
  // Whether the window scrolls its controls: the screen is too small for it.
  bool scrolling() const { return scroller_.scrolling(); }
  CConsoleDlg& logic() { return *logic_; }

  // Shows the Trends window (F2, the context menu, the system menu), made
  // on first use; null before.
  void OpenTrends();
  TrendsWindow* trends_window() { return trends_.get(); }

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

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK JogButtonProc(HWND button, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                        DWORD_PTR self);
  // While the window lives, its thread's dialog loops hand each message
  // here first: F2 opens the Trends window, whose own keys (Esc, Tab) the
  // main window's modal loop would not give it.
  static LRESULT CALLBACK MessageFilterProc(int code, WPARAM wparam, LPARAM lparam);
  bool FilterMessage(MSG* message);
  // The console's keys (key_policy.h), before the dialog manager and the
  // controls see them. True when taken.
  bool FilterKey(const MSG& message);
  Focus FocusKind(HWND focus) const;
  INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnInitDialog();
  void OnCommand(int id, int code);
  void OnSysCommand(WPARAM command);
  void OnContextMenu(int x, int y);
  void WriteLayout() const;

  void queue(ControlUpdate update) override;
  void ApplyQueuedUpdates();
  void apply(const ControlUpdate& update);

  HINSTANCE instance_;
  std::string layout_path_;
  DialogTemplateBuffer template_;
  HWND hwnd_ = nullptr;
  HICON icon_ = nullptr;
  HHOOK message_filter_ = nullptr;
  DWORD thread_id_ = 0;
  ControlUpdateQueue updates_;
  std::set<int> stale_;  // read-outs drawn greyed; the dialog's thread only
  DialogScroller scroller_;
  // Declared last: it ends its workers before the members above go.
  std::unique_ptr<CConsoleDlg> logic_;
  // Draws logic_'s history; the destructor ends it before the logic.
  std::unique_ptr<TrendsWindow> trends_;
};

}  // namespace tavik::console
