#include "console/win32/scrolled_dialog.h"

#include <algorithm>

namespace tavik::console {
namespace {

constexpr int kLinesPerWheelNotch = 3;

int line_pixels(HWND hwnd, int bar) {
  RECT line{0, 0, 8, 8};  // eight dialog units across and down: one line of text
  ::MapDialogRect(hwnd, &line);
  return std::max(1, static_cast<int>(bar == SB_HORZ ? line.right : line.bottom));
}

}  // namespace

void DialogScroller::Attach(HWND dialog) {
  RECT window, client;
  MONITORINFO monitor{sizeof(MONITORINFO), {}, {}, 0};
  if (!::GetWindowRect(dialog, &window) || !::GetClientRect(dialog, &client) ||
      !::GetMonitorInfoW(::MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor)) {
    return;
  }
  const RECT& work = monitor.rcWork;
  const long room_x = work.right - work.left, room_y = work.bottom - work.top;
  long width = window.right - window.left, height = window.bottom - window.top;
  if (width <= room_x && height <= room_y) return;
  hwnd_ = dialog;
  content_ = {client.right, client.bottom};
  // A bar along one side takes room from the other.
  if (height > room_y) width += ::GetSystemMetrics(SM_CXVSCROLL);
  if (width > room_x) height += ::GetSystemMetrics(SM_CYHSCROLL);
  ::SetWindowLongPtrW(dialog, GWL_STYLE, ::GetWindowLongPtrW(dialog, GWL_STYLE) | WS_HSCROLL | WS_VSCROLL);
  ::SetWindowPos(dialog, nullptr, work.left, work.top, std::min(width, room_x), std::min(height, room_y),
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Update();
}

bool DialogScroller::OnMessage(UINT message, WPARAM wparam, LPARAM) {
  if (!hwnd_) return false;
  switch (message) {
    case WM_SIZE:
      Update();
      return false;  // the dialog manager's too
    case WM_HSCROLL:
    case WM_VSCROLL: {
      const int bar = message == WM_HSCROLL ? SB_HORZ : SB_VERT;
      SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
      ::GetScrollInfo(hwnd_, bar, &info);
      const int page = static_cast<int>(info.nPage);
      switch (LOWORD(wparam)) {
        case SB_LINEUP:
          ScrollBy(bar, -1);
          break;
        case SB_LINEDOWN:
          ScrollBy(bar, 1);
          break;
        case SB_PAGEUP:
          ScrollTo(bar, info.nPos - page);
          break;
        case SB_PAGEDOWN:
          ScrollTo(bar, info.nPos + page);
          break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
          ScrollTo(bar, info.nTrackPos);
          break;
        case SB_TOP:
          ScrollTo(bar, 0);
          break;
        case SB_BOTTOM:
          ScrollTo(bar, info.nMax);
          break;
        default:
          break;
      }
      return true;
    }
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL: {
      // Up scrolls up (a positive delta), right scrolls right; Shift turns
      // the wheel sideways.
      const int notches = GET_WHEEL_DELTA_WPARAM(wparam) / WHEEL_DELTA;
      if (message == WM_MOUSEHWHEEL) {
        ScrollBy(SB_HORZ, notches * kLinesPerWheelNotch);
      } else {
        ScrollBy((GET_KEYSTATE_WPARAM(wparam) & MK_SHIFT) ? SB_HORZ : SB_VERT,
                 -notches * kLinesPerWheelNotch);
      }
      return true;
    }
    default:
      return false;
  }
}

void DialogScroller::Update() {
  // Showing or hiding a bar resizes the client area, which comes back here.
  if (updating_) return;
  updating_ = true;
  RECT client;
  ::GetClientRect(hwnd_, &client);
  for (const int bar : {SB_HORZ, SB_VERT}) {
    const long view = bar == SB_HORZ ? client.right : client.bottom;
    const long whole = bar == SB_HORZ ? content_.cx : content_.cy;
    SCROLLINFO info{sizeof(SCROLLINFO),
                    SIF_RANGE | SIF_PAGE,
                    0,
                    static_cast<int>(whole) - 1,
                    static_cast<UINT>(std::max(0L, view)),
                    0,
                    0};
    ::SetScrollInfo(hwnd_, bar, &info, TRUE);
  }
  updating_ = false;
  // A larger view may leave the layout short of its end: keep it filled.
  ScrollTo(SB_HORZ, offset_.x);
  ScrollTo(SB_VERT, offset_.y);
}

void DialogScroller::ScrollTo(int bar, int where) {
  RECT client;
  ::GetClientRect(hwnd_, &client);
  const long view = bar == SB_HORZ ? client.right : client.bottom;
  const long whole = bar == SB_HORZ ? content_.cx : content_.cy;
  const int target = static_cast<int>(std::clamp<long>(where, 0, std::max(0L, whole - view)));
  LONG& now = bar == SB_HORZ ? offset_.x : offset_.y;
  if (target == now) return;
  const int by = static_cast<int>(now) - target;
  now = target;
  SCROLLINFO info{sizeof(SCROLLINFO), SIF_POS, 0, 0, 0, target, 0};
  ::SetScrollInfo(hwnd_, bar, &info, TRUE);
  ::ScrollWindowEx(hwnd_, bar == SB_HORZ ? by : 0, bar == SB_VERT ? by : 0, nullptr, nullptr, nullptr,
                   nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
}

void DialogScroller::ScrollIntoView(HWND control) {
  if (!hwnd_ || !control || !::IsChild(hwnd_, control)) return;
  while (::GetParent(control) != hwnd_) control = ::GetParent(control);  // a list's edit part: the list
  RECT client, place;
  ::GetClientRect(hwnd_, &client);
  ::GetWindowRect(control, &place);
  ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&place), 2);
  // Its far edge into view first, then its near edge, which wins where it
  // is larger than the view.
  long dx = std::max(0L, place.right - client.right), dy = std::max(0L, place.bottom - client.bottom);
  if (place.left - dx < 0) dx = place.left;
  if (place.top - dy < 0) dy = place.top;
  if (dx != 0) ScrollTo(SB_HORZ, static_cast<int>(offset_.x + dx));
  if (dy != 0) ScrollTo(SB_VERT, static_cast<int>(offset_.y + dy));
}

void DialogScroller::ScrollBy(int bar, int lines) {
  const LONG now = bar == SB_HORZ ? offset_.x : offset_.y;
  ScrollTo(bar, static_cast<int>(now) + lines * line_pixels(hwnd_, bar));
}

}  // namespace tavik::console
