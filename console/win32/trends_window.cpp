#include "console/win32/trends_window.h"

#include <windowsx.h>

#include <algorithm>

#include "console/win32/trend_csv_file.h"
#include "console/win32/utf16_text.h"
#include "console/win32/window_placement.h"

namespace tavik::console {
namespace {

constexpr wchar_t kClassName[] = L"TavikTrends";
constexpr UINT_PTR kTimerId = 1;
constexpr int kFreezeId = 101;
constexpr int kSaveId = 102;
constexpr int kMargin = 8;
constexpr int kHoverLines = 4;  // trend_values_at's text: the time and one line per plot
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr wchar_t kHint[] = L"Point at a plot to read the values at that time.";

}  // namespace

TrendsWindow::TrendsWindow(HINSTANCE instance, HWND owner, const TrendHistory& history)
    : instance_(instance), owner_(owner), follower_(history) {
  WNDCLASSEXW window_class{};
  if (!::GetClassInfoExW(instance_, kClassName, &window_class)) {
    window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = instance_;
    // IDC_ARROW; the macro is a narrow text in a build without UNICODE.
    window_class.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    window_class.lpszClassName = kClassName;
    ::RegisterClassExW(&window_class);
  }
  // The owner's font, so that the plots read like the main window.
  font_ = owner_ ? reinterpret_cast<HFONT>(::SendMessageW(owner_, WM_GETFONT, 0, 0)) : nullptr;
  if (!font_) font_ = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  const HDC screen = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(screen, font_);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(screen, &metrics);
  line_height_ = std::max(8, static_cast<int>(metrics.tmHeight));
  SIZE digit{};
  ::GetTextExtentPoint32W(screen, L"0", 1, &digit);
  char_width_ = std::max(4, static_cast<int>(digit.cx));
  painter_ = {font_, char_width_, line_height_};
  ::SelectObject(screen, old);
  ::ReleaseDC(nullptr, screen);

  TakeSnapshot();
  RECT frame{0, 0, 110 * char_width_, 46 * line_height_};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  ::CreateWindowExW(0, kClassName, L"Trends", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                    frame.bottom - frame.top, owner_, nullptr, instance_, this);
  if (hwnd_) place_beside(hwnd_, owner_);
}

TrendsWindow::~TrendsWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

void TrendsWindow::Show() {
  if (!hwnd_) return;
  if (!frozen_) TakeSnapshot();
  ::ShowWindow(hwnd_, ::IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  ::SetForegroundWindow(hwnd_);
}

void TrendsWindow::Hide() {
  if (!hwnd_) return;
  // The main window takes the keys again, not whichever window is next.
  if (owner_ && ::GetActiveWindow() == hwnd_) ::SetActiveWindow(owner_);
  ::ShowWindow(hwnd_, SW_HIDE);
}

void TrendsWindow::SetFrozen(bool frozen) {
  frozen_ = frozen;
  if (!frozen_) TakeSnapshot();
  if (freeze_button_) ::SetWindowTextW(freeze_button_, frozen_ ? L"Resume" : L"Freeze");
  UpdateTimer();
}

std::string TrendsWindow::SaveCsv(const std::wstring& path) const { return save_trends_csv(snapshot_, path); }

bool TrendsWindow::PreTranslate(MSG* message) {
  if (!hwnd_ || (message->hwnd != hwnd_ && !::IsChild(hwnd_, message->hwnd))) return false;
  return ::IsDialogMessageW(hwnd_, message) != FALSE;
}

LRESULT CALLBACK TrendsWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TrendsWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<TrendsWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }
  return self->OnMessage(message, wparam, lparam);
}

LRESULT TrendsWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_SIZE:
      OnSize(LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_WINDOWPOSCHANGED: {
      // Shown, hidden (also with its owner), minimised or restored.
      const LRESULT result = ::DefWindowProcW(hwnd_, message, wparam, lparam);
      UpdateTimer();
      return result;
    }
    case WM_GETMINMAXINFO: {
      RECT smallest{0, 0, 60 * char_width_, 30 * line_height_};
      ::AdjustWindowRectEx(&smallest, kStyle, FALSE, 0);
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      info->ptMinTrackSize = {smallest.right - smallest.left, smallest.bottom - smallest.top};
      return 0;
    }
    case WM_TIMER:
      if (wparam == kTimerId) OnTimer();
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return 0;
    case WM_MOUSELEAVE:
      OnMouseMove(-1, -1);
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kFreezeId:
          SetFrozen(!frozen_);
          break;
        case kSaveId:
          save_trends_csv_as(hwnd_, snapshot_);
          break;
        case IDCANCEL:  // Esc
          Hide();
          break;
        default:
          break;
      }
      return 0;
    case WM_CLOSE:
      Hide();
      return 0;
    case WM_SETFOCUS:
      ::SetFocus(freeze_button_);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // Paint covers everything
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = ::BeginPaint(hwnd_, &paint);
      Paint(dc);
      ::EndPaint(hwnd_, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wparam));
      return 0;
    default:
      return ::DefWindowProcW(hwnd_, message, wparam, lparam);
  }
}

void TrendsWindow::OnCreate() {
  auto child = [this](const wchar_t* window_class, const wchar_t* text, DWORD style, int id) {
    const HWND control =
        ::CreateWindowExW(0, window_class, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
  };
  freeze_button_ = child(L"BUTTON", L"Freeze", WS_TABSTOP | BS_PUSHBUTTON, kFreezeId);
  save_button_ = child(L"BUTTON", L"Save CSV\u2026", WS_TABSTOP | BS_PUSHBUTTON, kSaveId);
  hover_text_ = child(L"STATIC", kHint, SS_LEFT | SS_NOPREFIX, -1);
  if (owner_) {
    const LRESULT icon = ::SendMessageW(owner_, WM_GETICON, ICON_SMALL, 0);
    if (icon) ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, icon);
  }
}

void TrendsWindow::OnSize(int width, int height) {
  const int button_width = 12 * char_width_ + 2 * kMargin;
  const int button_height = line_height_ + kMargin + 2;
  ::MoveWindow(freeze_button_, kMargin, kMargin, button_width, button_height, TRUE);
  ::MoveWindow(save_button_, 2 * kMargin + button_width, kMargin, button_width, button_height, TRUE);
  const int text_x = 4 * kMargin + 2 * button_width;
  ::MoveWindow(hover_text_, text_x, kMargin, std::max(0, width - text_x - kMargin),
               kHoverLines * line_height_, TRUE);
  const int top = kMargin + std::max(button_height, kHoverLines * line_height_) + kMargin / 2;
  rects_ = layout_trend_plots(width, height, top, char_width_, line_height_);
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void TrendsWindow::UpdateTimer() {
  const bool wanted = hwnd_ && ::IsWindowVisible(hwnd_) && !::IsIconic(hwnd_) && !frozen_;
  if (wanted == timer_on_) return;
  if (wanted) {
    // Back from hidden or minimised: what happened meanwhile, at once.
    TakeSnapshot();
    timer_on_ = ::SetTimer(hwnd_, kTimerId, static_cast<UINT>(TrendFollower::kRefresh.count()), nullptr) != 0;
  } else {
    ::KillTimer(hwnd_, kTimerId);
    timer_on_ = false;
  }
}

void TrendsWindow::OnTimer() {
  if (!frozen_) TakeSnapshot(false);
}

void TrendsWindow::TakeSnapshot(bool force) {
  std::optional<TrendSnapshot> snapshot = follower_.take(force);
  if (!snapshot) return;
  snapshot_ = std::move(*snapshot);
  frame_ = frame_trends(snapshot_);
  UpdateHoverText();
  if (hwnd_) ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void TrendsWindow::OnMouseMove(int x, int y) {
  double hover = -1;
  for (const TrendRect& r : rects_) {
    if (r.contains(x, y)) hover = static_cast<double>(x - r.x) / std::max(1, r.width - 1);
  }
  if (hover >= 0) {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd_, 0};
    ::TrackMouseEvent(&track);
  }
  if (hover == hover_x_) return;
  hover_x_ = hover;
  UpdateHoverText();
  ::InvalidateRect(hwnd_, nullptr, FALSE);
}

void TrendsWindow::UpdateHoverText() {
  if (!hover_text_) return;
  const std::wstring text =
      hover_x_ < 0 ? kHint : widen(trend_values_at(snapshot_, trend_time_at(snapshot_, hover_x_)));
  wchar_t shown[512] = {};
  ::GetWindowTextW(hover_text_, shown, 512);
  if (text != shown) ::SetWindowTextW(hover_text_, text.c_str());
}

void TrendsWindow::Paint(HDC target) const {
  RECT client;
  ::GetClientRect(hwnd_, &client);
  // Drawn off screen and copied in one go, so that nothing flickers.
  const HDC memory = ::CreateCompatibleDC(target);
  const HBITMAP bitmap =
      ::CreateCompatibleBitmap(target, std::max(1L, client.right), std::max(1L, client.bottom));
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  painter_.Draw(memory, client, frame_, rects_, hover_x_);
  ::BitBlt(target, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
}

}  // namespace tavik::console
