#include "console/win32/trends_window.h"

#include <commdlg.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "console/core/trend_csv.h"
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
constexpr COLORREF kPlotBackground = RGB(255, 255, 255);
constexpr COLORREF kGrid = RGB(224, 224, 224);
constexpr COLORREF kFrame = RGB(128, 128, 128);
constexpr COLORREF kCursor = RGB(64, 64, 64);
constexpr wchar_t kHint[] = L"Point at a plot to read the values at that time.";

COLORREF colour(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

std::string system_text(DWORD error) {
  wchar_t buffer[256] = {};
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                   0, buffer, 256, nullptr);
  std::string text = narrow(std::wstring_view(buffer, n));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '.')) text.pop_back();
  return text.empty() ? "error " + std::to_string(error) : text;
}

// A pen selected for a scope and deleted after it.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), old_(::SelectObject(dc, object)) {}
  ~Selected() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(object_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_, old_;
};

void text_at(HDC dc, const std::string& text, RECT place, UINT format, COLORREF rgb) {
  ::SetTextColor(dc, rgb);
  const std::wstring wide = widen(text);
  ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &place, format | DT_SINGLELINE | DT_NOPREFIX);
}

int text_width(HDC dc, const std::string& text) {
  const std::wstring wide = widen(text);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  return size.cx;
}

void fill(HDC dc, const RECT& area, COLORREF rgb) {
  const HBRUSH brush = ::CreateSolidBrush(rgb);
  ::FillRect(dc, &area, brush);
  ::DeleteObject(brush);
}

void horizontal(HDC dc, int x0, int x1, int y) {
  ::MoveToEx(dc, x0, y, nullptr);
  ::LineTo(dc, x1, y);
}

void vertical(HDC dc, int x, int y0, int y1) {
  ::MoveToEx(dc, x, y0, nullptr);
  ::LineTo(dc, x, y1);
}

int pixel_x(const TrendRect& r, double x) { return r.x + static_cast<int>(x * (r.width - 1) + 0.5); }
int pixel_y(const TrendRect& r, double y) { return r.y + static_cast<int>((1 - y) * (r.height - 1) + 0.5); }

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

std::string TrendsWindow::SaveCsv(const std::wstring& path) const {
  const std::string csv = trends_csv(snapshot_);
  const HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const std::string failed = "The trends could not be saved to " + narrow(path) + ": ";
  if (file == INVALID_HANDLE_VALUE) return failed + system_text(::GetLastError());
  DWORD written = 0;
  DWORD error =
      ::WriteFile(file, csv.data(), static_cast<DWORD>(csv.size()), &written, nullptr) ? 0 : ::GetLastError();
  if (!::CloseHandle(file) && error == 0) error = ::GetLastError();
  if (error == 0 && written != csv.size()) error = ERROR_HANDLE_DISK_FULL;
  if (error == 0) return {};
  ::DeleteFileW(path.c_str());  // not half a file
  return failed + system_text(error);
}

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
          OnSaveClicked();
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

void TrendsWindow::OnSaveClicked() {
  wchar_t path[MAX_PATH] = {};
  const std::wstring name = widen(trends_csv_file_name(std::chrono::system_clock::now()));
  name.copy(path, MAX_PATH - 1);
  wchar_t documents[MAX_PATH] = {};
  OPENFILENAMEW dialog{};
  if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents))) {
    dialog.lpstrInitialDir = documents;
  }
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd_;
  dialog.lpstrFilter = L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrDefExt = L"csv";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  std::string why;
  if (::GetSaveFileNameW(&dialog)) {
    why = SaveCsv(path);
  } else if (const DWORD error = ::CommDlgExtendedError(); error != 0) {
    why = "The file dialog failed (error " + std::to_string(error) + ").";
  }
  if (!why.empty()) ::MessageBoxW(hwnd_, widen(why).c_str(), L"Trends", MB_OK | MB_ICONEXCLAMATION);
}

void TrendsWindow::Paint(HDC target) const {
  RECT client;
  ::GetClientRect(hwnd_, &client);
  // Drawn off screen and copied in one go, so that nothing flickers.
  const HDC memory = ::CreateCompatibleDC(target);
  const HBITMAP bitmap =
      ::CreateCompatibleBitmap(target, std::max(1L, client.right), std::max(1L, client.bottom));
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  Draw(memory, client);
  ::BitBlt(target, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
}

void TrendsWindow::Draw(HDC dc, const RECT& client) const {
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_3DFACE));
  const HGDIOBJ old_font = ::SelectObject(dc, font_);
  ::SetBkMode(dc, TRANSPARENT);
  for (int p = 0; p < 3; ++p) DrawPlot(dc, p);

  const TrendRect& last = rects_[2];
  const int label_top = last.y + last.height + 2;
  for (std::size_t i = 0; i < frame_.time_labels.size(); ++i) {
    const int x = pixel_x(last, frame_.time_tick_x[i]);
    text_at(dc, frame_.time_labels[i],
            {x - 5 * char_width_, label_top, x + 5 * char_width_, label_top + line_height_}, DT_CENTER,
            ::GetSysColor(COLOR_WINDOWTEXT));
  }

  if (hover_x_ >= 0) {
    Selected pen(dc, ::CreatePen(PS_SOLID, 1, kCursor));
    for (const TrendRect& r : rects_) vertical(dc, pixel_x(r, hover_x_), r.y, r.y + r.height);
  }
  ::SelectObject(dc, old_font);
}

void TrendsWindow::DrawPlot(HDC dc, int index) const {
  const TrendRect& r = rects_[static_cast<std::size_t>(index)];
  const TrendPlot& plot = frame_.plots[static_cast<std::size_t>(index)];
  const COLORREF text = ::GetSysColor(COLOR_WINDOWTEXT);
  const RECT area{r.x, r.y, r.x + r.width, r.y + r.height};
  fill(dc, area, kPlotBackground);

  // The grid at the left axis' ticks and the time ticks, and the frame.
  {
    Selected pen(dc, ::CreatePen(PS_SOLID, 1, kGrid));
    for (double tick : plot.left.ticks)
      horizontal(dc, r.x, r.x + r.width, pixel_y(r, plot.left.fraction(tick)));
    for (float x : frame_.time_tick_x) vertical(dc, pixel_x(r, x), r.y, r.y + r.height);
  }
  {
    Selected pen(dc, ::CreatePen(PS_SOLID, 1, kFrame));
    const HGDIOBJ old_brush = ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
    ::Rectangle(dc, area.left, area.top, area.right, area.bottom);
    ::SelectObject(dc, old_brush);
  }

  // Tick labels beside the plot, kept within its height so that the first
  // and last do not run into the time labels or the title line.
  auto tick_labels = [&](const TrendAxis& axis, int left, int right, UINT align) {
    for (double tick : axis.ticks) {
      const int top = std::clamp(pixel_y(r, axis.fraction(tick)) - line_height_ / 2, r.y - 2,
                                 r.y + r.height + 2 - line_height_);
      text_at(dc, axis.label(tick), {left, top, right, top + line_height_}, align, text);
    }
  };
  const int gap = char_width_ / 2 + 1;
  const int title_top = r.y - line_height_ - 3;
  tick_labels(plot.left, 0, r.x - gap, DT_RIGHT);
  text_at(dc, plot.left.unit, {0, title_top, r.x - gap, title_top + line_height_}, DT_RIGHT, text);
  const int right_x = r.x + r.width + gap;
  if (plot.has_right) {
    tick_labels(plot.right, right_x, right_x + 8 * char_width_, DT_LEFT);
    text_at(dc, plot.right.unit, {right_x, title_top, right_x + 8 * char_width_, title_top + line_height_},
            DT_LEFT, text);
  }

  // The title, then each series' name in its colour.
  int x = r.x;
  const int line_end = r.x + r.width;
  text_at(dc, plot.title, {x, title_top, line_end, title_top + line_height_}, DT_LEFT, text);
  x += text_width(dc, plot.title) + 2 * char_width_;
  for (const TrendLine& line : plot.lines) {
    text_at(dc, line.series->name, {x, title_top, line_end, title_top + line_height_}, DT_LEFT,
            colour(line.series->rgb));
    x += text_width(dc, line.series->name) + char_width_ + char_width_ / 2;
  }

  // The lines, run by run; a run of one read is a dot.
  const int saved = ::SaveDC(dc);
  ::IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
  std::vector<POINT> points;
  for (const TrendLine& line : plot.lines) {
    const COLORREF rgb = colour(line.series->rgb);
    Selected pen(dc, ::CreatePen(PS_SOLID, 2, rgb));
    for (const std::vector<TrendPoint>& run : line.runs) {
      points.clear();
      for (const TrendPoint& point : run) points.push_back({pixel_x(r, point.x), pixel_y(r, point.y)});
      if (points.size() == 1) {
        fill(dc, {points[0].x - 1, points[0].y - 1, points[0].x + 2, points[0].y + 2}, rgb);
      } else {
        ::Polyline(dc, points.data(), static_cast<int>(points.size()));
      }
    }
  }
  ::RestoreDC(dc, saved);
}

}  // namespace tavik::console
