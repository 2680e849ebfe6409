#include "console/win32/dialog_font.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cwchar>

#include "console/win32/utf16_text.h"

namespace tavik::console {
namespace {

// Whether the font the system gives for `face` (its own, or the one the
// font mapper puts in its place) draws Hangul.
bool has_korean(const std::wstring& face, int points) {
  LOGFONTW wanted{};
  wanted.lfHeight = -points * 96 / 72;
  wanted.lfCharSet = DEFAULT_CHARSET;
  face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
  const HFONT font = ::CreateFontIndirectW(&wanted);
  if (!font) return false;
  const HDC dc = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(dc, font);
  const std::wstring korean = widen("정보확인");
  std::array<WORD, 4> glyphs{};
  const bool drawn = ::GetGlyphIndicesW(dc, korean.c_str(), static_cast<int>(glyphs.size()), glyphs.data(),
                                        GGI_MARK_NONEXISTING_GLYPHS) == static_cast<DWORD>(glyphs.size()) &&
                     std::find(glyphs.begin(), glyphs.end(), WORD{0xFFFF}) == glyphs.end();
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  ::DeleteObject(font);
  return drawn;
}

// How the template fits at `points` of `face` on a screen of `dpi` dots
// per inch: whether its window fits `room`, and whether each caption fits
// its control, the control's own margins taken off (labels have none).
struct Fit {
  bool window = false;
  bool captions = false;
};

Fit fit_at(const DialogTemplate& source, const std::wstring& face, int points, int dpi, DWORD style,
           SIZE room) {
  LOGFONTW wanted{};
  wanted.lfHeight = -::MulDiv(points, dpi, 72);
  wanted.lfCharSet = DEFAULT_CHARSET;
  face.copy(wanted.lfFaceName, LF_FACESIZE - 1);
  const HFONT font = ::CreateFontIndirectW(&wanted);
  if (!font) return {};
  const HDC dc = ::GetDC(nullptr);
  const HGDIOBJ old = ::SelectObject(dc, font);
  // The dialog manager's base units: the average width of the Latin letters
  // and the height.
  static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE letters{}, space{};
  TEXTMETRICW metrics{};
  Fit fit;
  if (::GetTextExtentPoint32W(dc, kLetters, 52, &letters) && ::GetTextMetricsW(dc, &metrics) &&
      ::GetTextExtentPoint32W(dc, L" ", 1, &space)) {
    const SIZE units{(letters.cx / 26 + 1) / 2, metrics.tmHeight};
    RECT frame{0, 0, ::MulDiv(source.cx, units.cx, 4), ::MulDiv(source.cy, units.cy, 8)};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    fit.window = frame.right - frame.left <= room.cx && frame.bottom - frame.top <= room.cy;
    fit.captions = true;
    for (const ControlTemplate& c : source.controls) {
      int margin = 0;
      if (c.kind == ControlKind::PushButton || c.kind == ControlKind::DefPushButton) {
        margin = 2 * (::GetSystemMetrics(SM_CXEDGE) + 1);
      } else if (c.kind == ControlKind::GroupBox) {
        margin = 2 * space.cx + 2 * ::GetSystemMetrics(SM_CXEDGE);
      } else if (c.kind != ControlKind::Label) {
        continue;
      }
      std::wstring text = widen(c.caption);
      std::erase(text, L'&');
      SIZE extent{};
      if (text.empty() || !::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent))
        continue;
      if (extent.cx > ::MulDiv(c.cx, units.cx, 4) - margin) fit.captions = false;
    }
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  ::DeleteObject(font);
  return fit;
}

}  // namespace

int dialog_points(const DialogTemplate& source, const std::wstring& face, DWORD style) {
  POINT pointer{};
  ::GetCursorPos(&pointer);
  const HMONITOR monitor = ::MonitorFromPoint(pointer, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{sizeof(MONITORINFO), {}, {}, 0};
  if (!::GetMonitorInfoW(monitor, &info)) return source.font_points;
  // The monitor's resolution where the system tells it (Windows 8.1 and
  // later), else the screen's.
  UINT dpi_x = 0, dpi_y = 0;
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  const HMODULE shcore = ::LoadLibraryW(L"shcore.dll");
  const auto get_dpi = shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                                    reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")))
                              : nullptr;
  if (!get_dpi || get_dpi(monitor, 0, &dpi_x, &dpi_y) != S_OK || dpi_y == 0) {
    const HDC screen = ::GetDC(nullptr);
    dpi_y = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSY));
    ::ReleaseDC(nullptr, screen);
  }
  if (shcore) ::FreeLibrary(shcore);
  const SIZE room{info.rcWork.right - info.rcWork.left, info.rcWork.bottom - info.rcWork.top};
  // Text does not shrink in step with the base units: a size whose window
  // fits may cut a caption, and is passed over. Where no size fits, the
  // smallest that keeps every caption whole, and the window scrolls.
  int whole = source.font_points;
  for (int points = source.font_points; points >= kMinDialogPoints; --points) {
    const Fit fit = fit_at(source, face, points, static_cast<int>(dpi_y), style, room);
    if (!fit.captions) continue;
    if (fit.window) return points;
    whole = points;
  }
  return whole;
}

std::wstring dialog_face(const DialogTemplate& source) {
  const std::wstring own = widen(source.font_face);
  for (const std::wstring& face :
       {own, std::wstring(L"Malgun Gothic"), widen("맑은 고딕"), std::wstring(L"NanumGothic")}) {
    if (has_korean(face, source.font_points)) return face;
  }
  return own;
}

}  // namespace tavik::console
