#include "console/win32/console_dialog.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>

#include "console/core/control_ids.h"
#include "console/res/dialog_template.h"
#include "console/res/resource.h"
#include "console/win32/about_box.h"
#include "console/win32/remembered_ports.h"
#include "console/win32/system_ports.h"
#include "console/win32/utf16_text.h"

namespace tavik::console {
namespace {

constexpr UINT WM_APP_UPDATES = WM_APP + 1;  // queued control updates wait
constexpr UINT WM_APP_SHOWN = WM_APP + 2;    // the window is up
constexpr UINT WM_APP_KEYED = WM_APP + 3;    // a key went to the dialog manager
constexpr int kMaxText = 256;
constexpr wchar_t kTrendsEntry[] = L"Trends\u2026\tF2";

// The window whose dialog loops the thread's message filter serves, and
// whether the filter is already at work (the Trends window's IsDialogMessage
// calls it again).
thread_local ConsoleDialog* t_filtered = nullptr;
thread_local bool t_filtering = false;

}  // namespace

ConsoleDialog::ConsoleDialog(HINSTANCE instance, std::string layout_path)
    : instance_(instance),
      layout_path_(std::move(layout_path)),
      template_(main_dialog_template(), kMainDialogStyle, kMainDialogExStyle, link_panel_controls()),
      icon_(::LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      logic_(std::make_unique<CConsoleDlg>(*this)) {}

ConsoleDialog::~ConsoleDialog() {
  trends_.reset();
  logic_.reset();
}

INT_PTR ConsoleDialog::DoModal() {
  return ::DialogBoxIndirectParamW(instance_, template_.get(), nullptr, DialogProc,
                                   reinterpret_cast<LPARAM>(this));
}

HWND ConsoleDialog::Create() {
  return ::CreateDialogIndirectParamW(instance_, template_.get(), nullptr, DialogProc,
                                      reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ConsoleDialog::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<ConsoleDialog*>(lparam);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    self->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<ConsoleDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  return self ? self->OnMessage(message, wparam, lparam) : FALSE;
}

INT_PTR ConsoleDialog::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (scroller_.OnMessage(message, wparam, lparam)) return TRUE;
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;  // the dialog manager focuses the first control
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam));
      return TRUE;
    case WM_SYSCOMMAND:
      // Close, Move: the dialog manager's.
      if ((wparam & 0xFFF0) != IDM_ABOUTBOX && (wparam & 0xFFF0) != IDM_TRENDS) return FALSE;
      OnSysCommand(wparam);
      return TRUE;
    case WM_CONTEXTMENU:
      OnContextMenu(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return TRUE;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) logic_->OnJogReleased();
      return FALSE;
    case WM_LBUTTONUP:
      logic_->OnLButtonUp();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_APP_UPDATES:
      ApplyQueuedUpdates();
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      // Read-only fields ask here for their colours: a stale one is greyed.
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
      if (!stale_.contains(id)) return FALSE;
      const HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
      ::SetBkColor(dc, ::GetSysColor(COLOR_3DFACE));
      return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_3DFACE));
    }
    case WM_APP_SHOWN:
      WriteLayout();
      return TRUE;
    case WM_APP_KEYED:
      // Tab, the arrows or a mnemonic may have moved the focus out of view.
      scroller_.ScrollIntoView(::GetFocus());
      return TRUE;
    case WM_ENDSESSION:
      // The session ends, and this process with it, once this returns.
      if (wparam) logic_->OnDestroy();
      return TRUE;
    case WM_DESTROY:
      if (message_filter_) ::UnhookWindowsHookEx(message_filter_);
      message_filter_ = nullptr;
      if (t_filtered == this) t_filtered = nullptr;
      // Usually ended already; the workers end and the ports close before it goes.
      logic_->OnDestroy();
      ApplyQueuedUpdates();
      return FALSE;
    default:
      return FALSE;
  }
}

void ConsoleDialog::OnInitDialog() {
  thread_id_ = ::GetCurrentThreadId();
  // A minimize button beside the close box, and Minimize in the window menu.
  ::SetWindowLongPtrW(hwnd_, GWL_STYLE, ::GetWindowLongPtrW(hwnd_, GWL_STYLE) | WS_MINIMIZEBOX);
  if (HMENU menu = ::GetSystemMenu(hwnd_, FALSE)) {
    wchar_t entry[kMaxText];
    if (::LoadStringW(instance_, IDS_ABOUTBOX, entry, kMaxText) > 0) {
      ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, entry);
    }
    ::AppendMenuW(menu, MF_STRING, IDM_TRENDS, kTrendsEntry);
  }
  message_filter_ = ::SetWindowsHookExW(WH_MSGFILTER, MessageFilterProc, nullptr, thread_id_);
  if (message_filter_) t_filtered = this;
  ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  // Jog buttons are dead-man switches: a press holds; the button captures
  // the mouse, so the release comes to it wherever it happens.
  for (int id : kJogButtons) {
    ::SetWindowSubclass(::GetDlgItem(hwnd_, id), JogButtonProc, static_cast<UINT_PTR>(id),
                        reinterpret_cast<DWORD_PTR>(this));
  }
  scroller_.Attach(hwnd_);
  logic_->OnInitDialog();
  ::PostMessageW(hwnd_, WM_APP_SHOWN, 0, 0);
}

void ConsoleDialog::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDOK:
      // Enter that the console left to the dialog manager (FilterKey): the
      // window has no default button.
      break;
    case IDCANCEL:  // Esc, the close box, Alt+F4, the system menu's Close
      // Hidden at once; the wheels stop before the window waits for its workers.
      ::ShowWindow(hwnd_, SW_HIDE);
      logic_->OnDestroy();
      ::EndDialog(hwnd_, IDCANCEL);
      break;
    default:
      logic_->OnCommand(id);
  }
}

void ConsoleDialog::OnSysCommand(WPARAM command) {
  if ((command & 0xFFF0) == IDM_TRENDS) {
    OpenTrends();
  } else {
    show_about_box(instance_, hwnd_);
  }
}

void ConsoleDialog::OnContextMenu(int x, int y) {
  const HMENU menu = ::CreatePopupMenu();
  if (!menu) return;
  wchar_t about[kMaxText];
  if (::LoadStringW(instance_, IDS_ABOUTBOX, about, kMaxText) > 0) {
    ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
  }
  ::AppendMenuW(menu, MF_STRING, IDM_TRENDS, kTrendsEntry);
  if (x == -1 && y == -1) {  // Shift+F10 or the menu key: at the focused control
    RECT r;
    ::GetWindowRect(::GetFocus() ? ::GetFocus() : hwnd_, &r);
    x = r.left;
    y = r.bottom;
  }
  const auto command =
      static_cast<WPARAM>(::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, hwnd_, nullptr));
  ::DestroyMenu(menu);
  if (command != 0) OnSysCommand(command);
}

void ConsoleDialog::OpenTrends() {
  if (!trends_) {
    trends_ = std::make_unique<TrendsWindow>(instance_, hwnd_, logic_->trends());
    if (!trends_->hwnd()) {
      const DWORD error = ::GetLastError();
      trends_.reset();
      ShowMessage("The Trends window could not be opened (error " + std::to_string(error) + ").");
      return;
    }
  }
  trends_->Show();
}

LRESULT CALLBACK ConsoleDialog::MessageFilterProc(int code, WPARAM wparam, LPARAM lparam) {
  if (code == MSGF_DIALOGBOX && t_filtered && !t_filtering) {
    t_filtering = true;
    const bool handled = t_filtered->FilterMessage(reinterpret_cast<MSG*>(lparam));
    t_filtering = false;
    if (handled) return TRUE;
  }
  return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

bool ConsoleDialog::FilterMessage(MSG* message) {
  if (trends_ && trends_->PreTranslate(message)) return true;
  if (scroller_.scrolling() && message->message == WM_KEYDOWN && ::IsChild(hwnd_, message->hwnd)) {
    ::PostMessageW(hwnd_, WM_APP_KEYED, 0, 0);  // after the dialog manager has moved the focus
  }
  if (message->message == WM_KEYDOWN && (message->wParam == VK_F1 || message->wParam == VK_F2) &&
      (message->hwnd == hwnd_ || ::IsChild(hwnd_, message->hwnd))) {
    if (message->wParam == VK_F1) {
      show_about_box(instance_, hwnd_);
    } else {
      OpenTrends();
    }
    return true;
  }
  return FilterKey(*message);
}

Focus ConsoleDialog::FocusKind(HWND focus) const {
  if (focus == hwnd_) return Focus::kNone;
  wchar_t kind[16] = {};
  ::GetClassNameW(focus, kind, 16);
  wchar_t parent_kind[16] = {};
  ::GetClassNameW(::GetParent(focus), parent_kind, 16);
  if (_wcsicmp(kind, WC_COMBOBOXW) == 0 || _wcsicmp(parent_kind, WC_COMBOBOXW) == 0) return Focus::kList;
  if (_wcsicmp(kind, WC_EDITW) == 0) {
    return (::GetWindowLongW(focus, GWL_STYLE) & ES_READONLY) ? Focus::kOther : Focus::kEditable;
  }
  if (_wcsicmp(kind, WC_BUTTONW) == 0) {
    if (is_jog_button(::GetDlgCtrlID(focus))) return Focus::kJogButton;
    const LONG type = ::GetWindowLongW(focus, GWL_STYLE) & BS_TYPEMASK;
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) return Focus::kButton;
  }
  return Focus::kOther;
}

bool ConsoleDialog::FilterKey(const MSG& message) {
  // With no control focused (the one clicked last disabled itself, as
  // Enable does) the keys come to the window as system keys without Alt.
  const bool unfocused = (message.message == WM_SYSKEYDOWN || message.message == WM_SYSKEYUP) &&
                         (message.lParam & (1 << 29)) == 0;
  if (message.message != WM_KEYDOWN && message.message != WM_KEYUP && !unfocused) return false;
  if (message.hwnd != hwnd_ && !::IsChild(hwnd_, message.hwnd)) return false;
  static constexpr std::pair<WPARAM, Key> kKeys[] = {
      {VK_ESCAPE, Key::kEscape}, {VK_RETURN, Key::kReturn}, {VK_SPACE, Key::kSpace}, {VK_UP, Key::kUp},
      {VK_DOWN, Key::kDown},     {VK_LEFT, Key::kLeft},     {VK_RIGHT, Key::kRight},
  };
  const auto known = std::find_if(std::begin(kKeys), std::end(kKeys),
                                  [&](const auto& k) { return k.first == message.wParam; });
  if (known == std::end(kKeys)) return false;
  KeyEvent event;
  event.key = known->second;
  event.press = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
  event.repeat = event.press && (message.lParam & (1 << 30)) != 0;  // held: the key was down already
  for (int modifier : {VK_SHIFT, VK_CONTROL, VK_MENU})
    event.modified = event.modified || ::GetKeyState(modifier) < 0;
  event.focus = FocusKind(message.hwnd);
  // The edit part of a list is the list's child and carries an ID of its own.
  const HWND control = ::GetParent(message.hwnd) == hwnd_ ? message.hwnd : ::GetParent(message.hwnd);
  event.focus_id = message.hwnd == hwnd_ ? 0 : ::GetDlgCtrlID(control);
  // A control may use Esc and Enter itself (an open drop-down list closes
  // on them), as the dialog manager asks it.
  if (message.hwnd != hwnd_ && (event.key == Key::kEscape || event.key == Key::kReturn)) {
    const LRESULT wants =
        ::SendMessageW(message.hwnd, WM_GETDLGCODE, message.wParam, reinterpret_cast<LPARAM>(&message));
    event.focus_takes_key = (wants & (DLGC_WANTMESSAGE | DLGC_WANTALLKEYS)) != 0;
  }
  const KeyAction action = logic_->OnKey(event);
  switch (action.kind) {
    case KeyAction::Kind::kNone:
      return false;
    case KeyAction::Kind::kClose:
      OnCommand(IDCANCEL, BN_CLICKED);
      break;
    case KeyAction::Kind::kClickFocused:
      if (::IsWindowEnabled(message.hwnd)) {
        ::SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(event.focus_id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(message.hwnd));
      }
      break;
    case KeyAction::Kind::kJogPress:
    case KeyAction::Kind::kJogRelease:
      if (action.shows_focused) {
        ::SendMessageW(message.hwnd, BM_SETSTATE, action.kind == KeyAction::Kind::kJogPress, 0);
      }
      break;
    case KeyAction::Kind::kTaken:
    case KeyAction::Kind::kEnter:
      break;
  }
  return true;
}

LRESULT CALLBACK ConsoleDialog::JogButtonProc(HWND button, UINT message, WPARAM wparam, LPARAM lparam,
                                              UINT_PTR id, DWORD_PTR self) {
  const LRESULT result = ::DefSubclassProc(button, message, wparam, lparam);
  CConsoleDlg& logic = reinterpret_cast<ConsoleDialog*>(self)->logic();
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (::IsWindowEnabled(button)) logic.OnJogPressed(static_cast<int>(id));
      break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      logic.OnJogReleased();
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(button, JogButtonProc, id);
      break;
    default:
      break;
  }
  return result;
}

void ConsoleDialog::WriteLayout() const {
  if (layout_path_.empty()) return;
  std::FILE* file = std::fopen(layout_path_.c_str(), "w");
  if (!file) return;
  for (const ControlTemplate& c : main_dialog_template().controls) {
    RECT r;
    if (c.id < 0 || !::GetWindowRect(::GetDlgItem(hwnd_, c.id), &r)) continue;
    std::fprintf(file, "%d %ld %ld %ld %ld\n", c.id, r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
  std::fclose(file);
}

int ConsoleDialog::GetListSelection(int id) {
  return static_cast<int>(::SendDlgItemMessageW(hwnd_, id, CB_GETCURSEL, 0, 0));
}

void ConsoleDialog::SetListSelection(int id, int index) {
  ::SendDlgItemMessageW(hwnd_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void ConsoleDialog::InsertListItem(int id, int index, const std::string& text) {
  const std::wstring wide = widen(text);
  ::SendDlgItemMessageW(hwnd_, id, CB_INSERTSTRING, static_cast<WPARAM>(index),
                        reinterpret_cast<LPARAM>(wide.c_str()));
}

void ConsoleDialog::ShowMessage(const std::string& text) {
  ::MessageBoxW(hwnd_, widen(text).c_str(), L"Tavik V1 Basic", MB_OK | MB_ICONEXCLAMATION);
}

std::string ConsoleDialog::GetWriteParamText() {
  wchar_t text[kMaxText];
  const int length = ::GetDlgItemTextW(hwnd_, IDC_WRITE_PARAM_VALUE, text, kMaxText);
  return narrow(std::wstring_view(text, static_cast<std::size_t>(length)));
}

std::string ConsoleDialog::GetListText(int id) {
  wchar_t text[kMaxText];
  const int length = ::GetDlgItemTextW(hwnd_, id, text, kMaxText);
  return narrow(std::wstring_view(text, static_cast<std::size_t>(length)));
}

std::vector<SystemPort> ConsoleDialog::SystemPorts() { return system_ports(); }

std::string ConsoleDialog::RememberedPort(const std::string& key) { return remembered_port(key); }

void ConsoleDialog::RememberPort(const std::string& key, const std::string& name) {
  remember_port(key, name);
}

void ConsoleDialog::queue(ControlUpdate update) {
  const bool first = updates_.push(std::move(update));
  if (::GetCurrentThreadId() == thread_id_) {
    ApplyQueuedUpdates();
  } else if (first) {
    ::PostMessageW(hwnd_, WM_APP_UPDATES, 0, 0);
  }
}

void ConsoleDialog::ApplyQueuedUpdates() {
  for (const ControlUpdate& update : updates_.take_all()) apply(update);
}

void ConsoleDialog::apply(const ControlUpdate& update) {
  const HWND control = ::GetDlgItem(hwnd_, update.id);
  if (!control) return;
  switch (update.kind) {
    case ControlUpdate::Kind::Enable:
      // A control that disables itself keeps the keyboard focus, and with it
      // Esc and Enter, until the dialog manager moves it on first.
      if (update.first == 0 && ::GetFocus() == control) ::SendMessageW(hwnd_, WM_NEXTDLGCTL, 0, FALSE);
      ::EnableWindow(control, update.first != 0);
      break;
    case ControlUpdate::Kind::Text:
      ::SetWindowTextW(control, widen(update.text).c_str());
      break;
    case ControlUpdate::Kind::Range:
      ::SendMessageW(control, PBM_SETRANGE32, static_cast<WPARAM>(update.first),
                     static_cast<LPARAM>(std::max(update.first, update.second)));
      break;
    case ControlUpdate::Kind::Position:
      ::SendMessageW(control, PBM_SETPOS, static_cast<WPARAM>(update.first), 0);
      break;
    case ControlUpdate::Kind::Stale:
      if (update.first != 0) {
        stale_.insert(update.id);
      } else {
        stale_.erase(update.id);
      }
      ::InvalidateRect(control, nullptr, TRUE);
      break;
  }
}

}  // namespace tavik::console
