// The native console window as the window manager builds it, in this
// process, under Wine on a (virtual) X display: the controls where the
// template puts them, the tab order, the font, the system menu's About
// and Trends entries, the program's resources, the keys that close it or
// not, worker updates applied in order, and the Trends window's plots.
#include <gtest/gtest.h>
#include <windows.h>
//
#include <winver.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// The control IDs name the About box's button IDOK, as windows.h does.
#pragma push_macro("IDOK")
#undef IDOK
#include "console/core/control_ids.h"
#pragma pop_macro("IDOK")
#include "console/core/trend_csv.h"
#include "console/res/dialog_template.h"
#include "console/res/resource.h"
#include "console/res/string_table.h"
#include "console/res/version_info.h"
#include "console/win32/console_dialog.h"
#include "console/win32/utf16_text.h"

namespace tavik::console {
namespace {

constexpr int kReadParamValue = 1064;  // a read-only field nothing else writes while no board is connected

class ConsoleWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog_ = std::make_unique<ConsoleDialog>(::GetModuleHandleW(nullptr));
    hwnd_ = dialog_->Create();
    ASSERT_NE(hwnd_, nullptr) << "error " << ::GetLastError();
  }
  void TearDown() override {
    if (hwnd_) ::DestroyWindow(hwnd_);
    dialog_.reset();
  }

  // The place and size in pixels, each converted as the dialog manager does.
  RECT dialog_units(int x, int y, int cx, int cy) const {
    RECT r{x, y, cx, cy};
    ::MapDialogRect(hwnd_, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
  }

  void pump_messages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }

  std::unique_ptr<ConsoleDialog> dialog_;
  HWND hwnd_ = nullptr;
};

std::wstring class_name(HWND hwnd) {
  wchar_t name[64] = {};
  ::GetClassNameW(hwnd, name, 64);
  return name;
}

TEST_F(ConsoleWin32Test, ControlsAreWhereTheTemplatePutsThem) {
  const DialogTemplate& source = main_dialog_template();
  RECT client;
  ::GetClientRect(hwnd_, &client);
  const RECT size = dialog_units(0, 0, source.cx, source.cy);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);
  // A fixed frame: no sizing border or maximise box; a minimise box.
  const LONG style = ::GetWindowLongW(hwnd_, GWL_STYLE);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), WS_MINIMIZEBOX);

  // Children in creation order: the template's, then the link panel's.
  std::vector<ControlTemplate> all(source.controls.begin(), source.controls.end());
  all.insert(all.end(), link_panel_controls().begin(), link_panel_controls().end());
  std::size_t i = 0;
  for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT), ++i) {
    ASSERT_LT(i, all.size());
    const ControlTemplate& c = all[i];
    SCOPED_TRACE("control #" + std::to_string(i + 1) + " " + std::string(c.caption) + " " +
                 std::to_string(c.id));
    EXPECT_EQ(::GetDlgCtrlID(child), c.id);
    EXPECT_EQ(_wcsicmp(class_name(child).c_str(), control_class(c.kind)), 0);
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    const RECT expected = dialog_units(c.x, c.y, c.cx, c.cy);
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    EXPECT_EQ(r.right, expected.right);
    // A closed drop-down list is as high as its font needs; the template's
    // height is that of the dropped-down list.
    if (c.kind == ControlKind::ComboBox) {
      EXPECT_LT(r.bottom, expected.bottom);
    } else {
      EXPECT_EQ(r.bottom, expected.bottom);
    }
  }
  EXPECT_EQ(i, all.size());

  // Tab walks the enabled buttons, fields and lists in template order.
  std::vector<int> expected_tabs;
  for (const ControlTemplate& c : source.controls) {
    if ((control_style(c.kind) & WS_TABSTOP) && ::IsWindowEnabled(::GetDlgItem(hwnd_, c.id))) {
      expected_tabs.push_back(c.id);
    }
  }
  std::vector<int> tabs;
  const HWND first = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  HWND item = first;
  do {
    tabs.push_back(::GetDlgCtrlID(item));
    item = ::GetNextDlgTabItem(hwnd_, item, FALSE);
  } while (item && item != first && tabs.size() <= source.controls.size());
  EXPECT_EQ(tabs, expected_tabs);
}

TEST_F(ConsoleWin32Test, KoreanFontSystemMenuAndResources) {
  // The template's font, with glyphs for the Korean texts.
  const auto font = reinterpret_cast<HFONT>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0));
  LOGFONTW logical{};
  ASSERT_TRUE(::GetObjectW(font, sizeof logical, &logical));
  EXPECT_EQ(narrow(logical.lfFaceName), main_dialog_template().font_face);
  const HDC dc = ::GetDC(hwnd_);
  ::SelectObject(dc, font);
  const std::wstring korean = widen("정보확인");
  std::vector<WORD> glyphs(korean.size());
  ::GetGlyphIndicesW(dc, korean.c_str(), static_cast<int>(korean.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
  ::ReleaseDC(hwnd_, dc);
  for (WORD glyph : glyphs) EXPECT_NE(glyph, 0xFFFF) << "no Hangul in the dialog's font";

  // After a separator at the end of the system menu: About, then Trends.
  const HMENU menu = ::GetSystemMenu(hwnd_, FALSE);
  const int count = ::GetMenuItemCount(menu);
  ASSERT_GE(count, 3);
  EXPECT_EQ(::GetMenuItemID(menu, count - 2), static_cast<UINT>(IDM_ABOUTBOX));
  EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_TRENDS));
  wchar_t entry[128] = {};
  ::GetMenuStringW(menu, static_cast<UINT>(count - 2), entry, 128, MF_BYPOSITION);
  EXPECT_EQ(narrow(entry), load_string(IDS_ABOUTBOX));
  ::GetMenuStringW(menu, static_cast<UINT>(count - 1), entry, 128, MF_BYPOSITION);
  EXPECT_EQ(narrow(entry), "Trends\u2026\tF2");
  EXPECT_TRUE(::GetMenuState(menu, static_cast<UINT>(count - 3), MF_BYPOSITION) & MF_SEPARATOR);

  // Icon 128: the window's icons, the project's images from 256 to 16 pixels.
  EXPECT_NE(::SendMessageW(hwnd_, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(::SendMessageW(hwnd_, WM_GETICON, ICON_SMALL, 0), 0);
  constexpr WORD kGroupIcon = 14, kManifest = 24;  // resource types
  const HRSRC group = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(kGroupIcon));
  ASSERT_NE(group, nullptr);
  const auto* header = static_cast<const WORD*>(::LockResource(::LoadResource(nullptr, group)));
  const int widths[] = {0, 128, 64, 48, 32, 16};  // 0 is 256
  ASSERT_EQ(header[2], std::size(widths));        // images
  for (std::size_t image = 0; image < std::size(widths); ++image) {
    EXPECT_EQ(reinterpret_cast<const BYTE*>(header + 3)[14 * image], widths[image]) << image;
  }

  // The common-controls 6.0 manifest.
  const HRSRC manifest = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(kManifest));
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(::LockResource(::LoadResource(nullptr, manifest))),
                         ::SizeofResource(nullptr, manifest));
  EXPECT_NE(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(text.find(">PerMonitorV2</dpiAwareness>"), std::string::npos);

  // The version record: an English block, then the Korean one.
  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::vector<BYTE> record(::GetFileVersionInfoSizeW(path, nullptr));
  ASSERT_FALSE(record.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(path, 0, static_cast<DWORD>(record.size()), record.data()));
  auto value = [&](const char* block, const char* name) {
    void* data = nullptr;
    UINT length = 0;
    const std::wstring key = widen(std::string("\\StringFileInfo\\") + block + "\\" + name);
    if (!::VerQueryValueW(record.data(), key.c_str(), &data, &length) || length == 0) return std::string();
    return narrow(static_cast<const wchar_t*>(data));
  };
  EXPECT_EQ(value("041204b0", "FileDescription"), version::kFileDescription);
  EXPECT_EQ(value("041204b0", "ProductName"), version::kProductName);
  EXPECT_EQ(value("041204b0", "FileVersion"), version::kFileVersionText);
  EXPECT_EQ(value("040904b0", "FileDescription"), "Tavik V1 Basic operator console");
  EXPECT_EQ(value("040904b0", "FileVersion"), version::kFileVersionText);
  EXPECT_NE(value("040904b0", "CompanyName"), "");
  EXPECT_NE(value("040904b0", "LegalCopyright"), "");
  void* languages = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation", &languages, &length));
  ASSERT_EQ(length, 8u);
  const auto* pairs = static_cast<const WORD*>(languages);
  EXPECT_EQ(pairs[0], 0x409);
  EXPECT_EQ(pairs[2], 0x412);
}

TEST_F(ConsoleWin32Test, EnterKeepsTheWindowOpenAndEscOrCloseEndIt) {
  // Keys go through the dialog manager as in the program's modal loop.
  auto key = [](HWND focus, WPARAM vk) {
    MSG msg{focus, WM_KEYDOWN, vk, 0, 0, {}};
    return ::IsDialogMessageW(::GetAncestor(focus, GA_ROOT), &msg);
  };
  // The edit part of a list, where the focus sits while the list has it.
  auto edit_of = [](HWND list) {
    const HWND edit = ::FindWindowExW(list, nullptr, L"Edit", nullptr);
    return edit ? edit : list;
  };
  enum class How { Enter, Escape, CloseBox, SystemClose };
  struct Case {
    How how;
    int focus;
    bool closes;
    const char* write_param;  // what the logic took from field 1066
  };
  const Case cases[] = {
      {How::Enter, IDC_WRITE_PARAM_VALUE, false, "500"}, {How::Enter, IDC_PSB_PORT, false, ""},
      {How::Enter, IDC_PARAM_SELECT, false, ""},         {How::Enter, kReadParamValue, false, ""},
      {How::Escape, IDC_WRITE_PARAM_VALUE, true, ""},    {How::Escape, IDC_PSB_PORT, true, ""},
      {How::CloseBox, IDC_WRITE_PARAM_VALUE, true, ""},  {How::SystemClose, IDC_PSB_CONNECT, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("focus on " + std::to_string(c.focus) + ", way " + std::to_string(int(c.how)));
    if (!hwnd_) SetUp();
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetDlgItemTextW(hwnd_, IDC_WRITE_PARAM_VALUE, L"500");
    const HWND focus = edit_of(::GetDlgItem(hwnd_, c.focus));
    ::SetFocus(focus);
    ASSERT_EQ(::GetFocus(), focus);
    switch (c.how) {
      case How::Enter:
        EXPECT_TRUE(key(focus, VK_RETURN));
        break;
      case How::Escape:
        EXPECT_TRUE(key(focus, VK_ESCAPE));
        break;
      case How::CloseBox:
        ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
        break;
      case How::SystemClose:
        ::SendMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
    pump_messages();
    EXPECT_EQ(dialog_->logic().m_strWriteParam, c.write_param);
    EXPECT_EQ(::IsWindowVisible(hwnd_) != FALSE, !c.closes);
    ::DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    EXPECT_FALSE(dialog_->logic().m_bPowerCtrlRun);
  }
}

TEST_F(ConsoleWin32Test, WorkerUpdatesArriveInCallOrder) {
  constexpr int kUpdates = 500;
  std::thread worker([this] {
    for (int i = 1; i <= kUpdates; ++i) {
      dialog_->SetControlText(kReadParamValue, std::to_string(i));
      dialog_->EnableControl(kReadParamValue, i % 2 == 0);
    }
  });
  // The worker never waits for this thread: it ends while nothing is pumped.
  worker.join();
  wchar_t text[16] = {};
  ::GetDlgItemTextW(hwnd_, kReadParamValue, text, 16);
  EXPECT_STRNE(narrow(text).c_str(), std::to_string(kUpdates).c_str()) << "applied off the dialog's thread";
  pump_messages();
  ::GetDlgItemTextW(hwnd_, kReadParamValue, text, 16);
  EXPECT_EQ(narrow(text), std::to_string(kUpdates));
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(hwnd_, kReadParamValue)));
}

// A key as the thread's dialog loop takes it: the program's modal loop hands
// every message to the main window's IsDialogMessage.
bool dialog_key(HWND main, HWND focus, WPARAM vk) {
  MSG msg{focus, WM_KEYDOWN, vk, 0, 0, {}};
  return ::IsDialogMessageW(main, &msg) != FALSE;
}

// A button that disables itself as it is clicked (Connect, the Enables)
// leaves the keyboard focus on: Esc still closes the window.
TEST_F(ConsoleWin32Test, EscClosesAfterAButtonDisabledItself) {
  for (int id : {IDC_PSB_CONNECT, IDC_DRVB_CONNECT, IDC_POWER_DATA_ENABLE, IDC_USONIC_ENABLE,
                 IDC_ROBOT_CTRL_ENABLE, IDC_EMG_ENABLE, IDC_ENCODER_ENABLE}) {
    SCOPED_TRACE("button " + std::to_string(id));
    if (!hwnd_) SetUp();
    ::ShowWindow(hwnd_, SW_SHOW);
    const HWND button = ::GetDlgItem(hwnd_, id);
    ::EnableWindow(button, TRUE);
    ::SetFocus(button);
    ASSERT_EQ(::GetFocus(), button);
    dialog_->EnableControl(id, false);
    pump_messages();
    EXPECT_NE(::GetFocus(), button);
    EXPECT_TRUE(dialog_key(hwnd_, ::GetFocus(), VK_ESCAPE));
    pump_messages();
    EXPECT_FALSE(::IsWindowVisible(hwnd_));
    ::DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
}

TEST_F(ConsoleWin32Test, TrendsOpenWithF2OrAMenuAndEscHidesThem) {
  ::ShowWindow(hwnd_, SW_SHOW);
  struct Case {
    const char* way;
    std::function<void()> open;
  };
  const Case cases[] = {
      {"F2 in a field",
       [&] { EXPECT_TRUE(dialog_key(hwnd_, ::GetDlgItem(hwnd_, IDC_WRITE_PARAM_VALUE), VK_F2)); }},
      {"system menu", [&] { ::SendMessageW(hwnd_, WM_SYSCOMMAND, IDM_TRENDS, 0); }},
      {"F2 on a button",
       [&] { EXPECT_TRUE(dialog_key(hwnd_, ::GetDlgItem(hwnd_, IDC_PSB_CONNECT), VK_F2)); }},
      {"context menu",
       [&] {
         // The menu's own loop takes the keys queued before it: About, Trends, choose.
         for (WPARAM vk : {VK_DOWN, VK_DOWN, VK_RETURN}) ::PostMessageW(hwnd_, WM_KEYDOWN, vk, 0);
         RECT r;
         ::GetWindowRect(hwnd_, &r);
         ::SendMessageW(hwnd_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd_),
                        MAKELPARAM(r.left + 40, r.top + 40));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.way);
    c.open();
    pump_messages();
    TrendsWindow* trends = dialog_->trends_window();
    ASSERT_NE(trends, nullptr);
    EXPECT_TRUE(::IsWindowVisible(trends->hwnd()));
    EXPECT_EQ(::GetWindow(trends->hwnd(), GW_OWNER), hwnd_);
    // Its keys arrive through the main window's loop: Tab moves between its
    // buttons, Esc hides it and leaves the main window open.
    const HWND focus = ::GetFocus();
    ASSERT_TRUE(::IsChild(trends->hwnd(), focus));
    EXPECT_TRUE(dialog_key(hwnd_, focus, VK_TAB));
    EXPECT_NE(::GetFocus(), focus);
    EXPECT_TRUE(::IsChild(trends->hwnd(), ::GetFocus()));
    EXPECT_TRUE(dialog_key(hwnd_, ::GetFocus(), VK_ESCAPE));
    pump_messages();
    EXPECT_FALSE(::IsWindowVisible(trends->hwnd()));
    EXPECT_TRUE(::IsWindowVisible(hwnd_));
  }
}

// The client area as PrintWindow draws it, 0xRRGGBB a pixel.
struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;

  explicit Picture(HWND hwnd) {
    RECT client;
    ::GetClientRect(hwnd, &client);
    width = client.right;
    height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const HBITMAP dib = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(dc, dib);
    EXPECT_TRUE(::PrintWindow(hwnd, dc, PW_CLIENTONLY));
    ::GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < static_cast<std::size_t>(width * height); ++i)
      pixels.push_back(first[i] & 0xFFFFFF);
    ::SelectObject(dc, old);
    ::DeleteObject(dib);
    ::DeleteDC(dc);
  }
  // Pixels of `rgb` in the columns [x0, x1] of `r`.
  int count(const TrendRect& r, int x0, int x1, std::uint32_t rgb) const {
    int n = 0;
    for (int y = r.y; y < r.y + r.height; ++y) {
      for (int x = x0; x <= x1; ++x) n += pixels[static_cast<std::size_t>(y * width + x)] == rgb;
    }
    return n;
  }
  bool same_in(const Picture& other, const TrendRect& r) const {
    for (int y = r.y; y < r.y + r.height; ++y) {
      for (int x = r.x; x < r.x + r.width; ++x) {
        if (pixels[static_cast<std::size_t>(y * width + x)] !=
            other.pixels[static_cast<std::size_t>(y * width + x)]) {
          return false;
        }
      }
    }
    return true;
  }
};

TEST_F(ConsoleWin32Test, TrendsWindowDrawsFreezesAndSavesTheHistory) {
  // A scripted history that began 100 s ago: power read well until 40 s,
  // failed for 1.5 s, read well again until 90 s; the encoders' poller
  // stopped at 60 s; the ranges read all along.
  using Clock = TrendHistory::Clock;
  const Clock::time_point origin = Clock::now() - std::chrono::seconds(100);
  auto at = [&](double t) {
    return origin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(t));
  };
  TrendHistory history(origin);
  auto add_power = [&](int from, int to) {  // tenths of a second
    for (int i = from; i < to; ++i) history.add_power(at(i / 10.0), 12000 + i % 500, 1000 + 2 * (i % 500), 0);
  };
  add_power(0, 400);
  for (int i = 400; i < 415; ++i) history.add_failure(TrendSource::kPower, at(i / 10.0), "no reply");
  add_power(415, 900);
  for (int i = 0; i < 600; ++i) history.add_encoders(at(i / 10.0), 100 * i, 80 * i);
  history.end(TrendSource::kEncoders, at(60));
  for (int i = 0; i < 990; ++i) {
    const float ranges[7] = {0.3f, 0.6f, 0.9f, 1.2f, 1.5f, 1.8f, 2.1f};
    history.add_ranges(at(i / 10.0), ranges);
  }

  TrendsWindow trends(::GetModuleHandleW(nullptr), hwnd_, history);
  ASSERT_NE(trends.hwnd(), nullptr);
  trends.Show();
  pump_messages();
  const std::array<TrendRect, 3>& rects = trends.plot_rects();
  // The columns of the times [t0, t1], a pixel in from each end.
  auto columns = [&](int plot, double t0, double t1) {
    const TrendSnapshot& s = trends.snapshot();
    const TrendRect& r = rects[static_cast<std::size_t>(plot)];
    auto x = [&](double t) {
      return r.x + static_cast<int>((t - s.t_end + s.span_s) / s.span_s * (r.width - 1) + 0.5);
    };
    return std::pair{x(t0) + 1, x(t1) - 1};
  };
  struct Expect {
    int plot;
    std::uint32_t rgb;
    double t0, t1;
    bool drawn;
  };
  const std::vector<Expect> expected = [] {
    std::vector<Expect> all = {
        {0, 0x1f6fd0, 1, 39, true},       {0, 0xd0501f, 1, 39, true},  {0, 0x1f6fd0, 40.3, 41.1, false},
        {0, 0xd0501f, 40.3, 41.1, false}, {0, 0x1f6fd0, 42, 89, true}, {0, 0x1f6fd0, 91, 98, false},
        {1, 0x2a9d3a, 1, 59, true},       {1, 0x8a3ac0, 1, 59, true},  {1, 0x2a9d3a, 61, 98, false},
        {1, 0x8a3ac0, 61, 98, false},
    };
    for (const TrendSeries& series : trend_series()) {
      if (series.plot == 2) all.push_back({2, series.rgb, 1, 98, true});
    }
    return all;
  }();
  const Picture drawn(trends.hwnd());
  for (const Expect& e : expected) {
    const auto [x0, x1] = columns(e.plot, e.t0, e.t1);
    const int n = drawn.count(rects[static_cast<std::size_t>(e.plot)], x0, x1, e.rgb);
    EXPECT_EQ(n > 0, e.drawn) << "plot " << e.plot << std::hex << " colour " << e.rgb << std::dec << " from "
                              << e.t0 << " s to " << e.t1 << " s: " << n << " pixels";
  }

  // Frozen, the picture stays while the history grows; resumed, it shows the new reads.
  const HWND freeze = ::FindWindowExW(trends.hwnd(), nullptr, L"Button", L"Freeze");
  ASSERT_NE(freeze, nullptr);
  ::SendMessageW(freeze, BM_CLICK, 0, 0);
  EXPECT_TRUE(trends.frozen());
  wchar_t caption[32] = {};
  ::GetWindowTextW(freeze, caption, 32);
  EXPECT_EQ(narrow(caption), "Resume");
  add_power(910, 985);
  ::SendMessageW(trends.hwnd(), WM_TIMER, 1, 0);
  const Picture frozen(trends.hwnd());
  for (const TrendRect& r : rects) EXPECT_TRUE(frozen.same_in(drawn, r));
  ::SendMessageW(freeze, BM_CLICK, 0, 0);
  EXPECT_FALSE(trends.frozen());
  const auto [x0, x1] = columns(0, 92, 98);
  EXPECT_GT(Picture(trends.hwnd()).count(rects[0], x0, x1, 0x1f6fd0), 0) << "the reads added while frozen";

  // Pointing into the failed reads tells why they failed.
  const TrendRect& power = rects[0];
  const int gap_x = (columns(0, 40.5, 40.5).first + columns(0, 40.5, 40.5).second) / 2;
  ::SendMessageW(trends.hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(gap_x, power.y + power.height / 2));
  wchar_t hover[512] = {};
  ::GetWindowTextW(::FindWindowExW(trends.hwnd(), nullptr, L"Static", nullptr), hover, 512);
  EXPECT_NE(narrow(hover).find("battery: failed (no reply)"), std::string::npos) << narrow(hover);

  // "Save CSV…" writes what the window shows; a failure says why.
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring good = std::wstring(temp) + L"tavik-trends-test.csv";
  const std::wstring bad = std::wstring(temp) + L"no-such-directory\\trends.csv";
  const std::string why = trends.SaveCsv(good);
  EXPECT_EQ(why, "");
  std::ifstream file(std::filesystem::path(good), std::ios::binary);
  std::stringstream saved;
  saved << file.rdbuf();
  file.close();
  ::DeleteFileW(good.c_str());
  const std::string csv = trends_csv(trends.snapshot());
  EXPECT_EQ(saved.str(), csv);
  // The column names and a row for each ranges read at least.
  EXPECT_GE(std::count(csv.begin(), csv.end(), '\n'), 1 + 990);
  const std::string failure = trends.SaveCsv(bad);
  EXPECT_NE(failure.find(narrow(bad) + ": "), std::string::npos) << failure;
  EXPECT_GT(failure.size(), narrow(bad).size() + 12) << "no reason given";
}

// A port typed into the list, COM23 (scripts/test-windows links it to
// simulator A's power & sensor board, and Wine reports it): it is listed,
// Connect opens it as typed, its power data is polled, and it is the port
// selected at the next start.
TEST_F(ConsoleWin32Test, ATypedPortIsOpenedAsTypedAndRemembered) {
  const HWND list = ::GetDlgItem(hwnd_, IDC_PSB_PORT);
  std::vector<std::string> entries;
  for (LRESULT i = 0; i < ::SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) {
    wchar_t entry[128] = {};
    ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
    entries.push_back(narrow(entry));
  }
  ASSERT_GE(entries.size(), 20u);
  EXPECT_EQ(entries[19], "COM20");
  EXPECT_NE(std::find_if(entries.begin() + 20, entries.end(),
                         [](const std::string& e) { return e.find("COM23") != std::string::npos; }),
            entries.end())
      << "the system's COM23 is not listed";

  ::SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  ::SetWindowTextW(list, L"COM23");
  dialog_->logic().OnPsbConnect();
  ASSERT_TRUE(dialog_->logic().m_bPsbConnected);
  dialog_->logic().OnPowerDataEnable();
  for (int i = 0; i < 100 && dialog_->logic().psb_link().snapshot().exchanges < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const LinkMonitor::Snapshot link = dialog_->logic().psb_link().snapshot();
  EXPECT_EQ(link.port, "COM23");
  EXPECT_GE(link.exchanges, 2u);
  EXPECT_EQ(link.failures, 0u) << link.last_failure;
  dialog_->logic().OnPsbDisconnect();

  ::DestroyWindow(hwnd_);
  dialog_ = std::make_unique<ConsoleDialog>(::GetModuleHandleW(nullptr));
  hwnd_ = dialog_->Create();
  wchar_t shown[64] = {};
  ::GetDlgItemTextW(hwnd_, IDC_PSB_PORT, shown, 64);
  EXPECT_NE(narrow(shown).find("COM23"), std::string::npos);
  // The next tests and sessions start on the lists' default ports again.
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tavik");
}

// The window as the screen shows it, as a 24-bit BMP file.
void save_screenshot(HWND hwnd, const std::filesystem::path& path) {
  RECT r;
  ::GetWindowRect(hwnd, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  const HDC screen = ::GetDC(nullptr);
  const HDC memory = ::CreateCompatibleDC(screen);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER info{sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<char> pixels(static_cast<std::size_t>((width * 3 + 3) / 4 * 4 * height));
  ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  const BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(offset + pixels.size()), 0, 0, offset};
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

// On this screen (scripts/test-windows runs it on several, at several
// resolutions) the window lies inside the work area and each control is
// in view or, where the window scrolls, brought into view by its scroll
// bars; the wheel scrolls too. TAVIK_FIT_SCREENSHOT names a BMP file for
// the window as it opened.
TEST_F(ConsoleWin32Test, EveryControlIsWithinReachOnThisScreen) {
  ::ShowWindow(hwnd_, SW_SHOW);
  ::UpdateWindow(hwnd_);
  pump_messages();
  if (const char* shot = std::getenv("TAVIK_FIT_SCREENSHOT")) save_screenshot(hwnd_, shot);
  MONITORINFO monitor{sizeof(MONITORINFO), {}, {}, 0};
  ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST), &monitor));
  RECT window, client;
  ::GetWindowRect(hwnd_, &window);
  ::GetClientRect(hwnd_, &client);
  const RECT& work = monitor.rcWork;
  std::cout << "work area " << work.right - work.left << "x" << work.bottom - work.top << ", window "
            << window.right - window.left << "x" << window.bottom - window.top
            << (dialog_->scrolling() ? ", scrolled" : "") << "\n";
  EXPECT_TRUE(window.left >= work.left && window.top >= work.top && window.right <= work.right &&
              window.bottom <= work.bottom);
  const RECT whole = dialog_units(0, 0, main_dialog_template().cx, main_dialog_template().cy);
  const bool cut = whole.right > client.right || whole.bottom > client.bottom;
  EXPECT_EQ(dialog_->scrolling(), cut);
  const LONG style = ::GetWindowLongW(hwnd_, GWL_STYLE);
  EXPECT_EQ((style & (WS_HSCROLL | WS_VSCROLL)) != 0, cut);

  auto place = [&](HWND child) {
    RECT r;
    ::GetWindowRect(child, &r);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  // Line by line, as the scroll bars' arrows do, until the control is in
  // view or the bar is at its end.
  auto scroll_to = [&](HWND child) {
    for (const int bar : {SB_HORZ, SB_VERT}) {
      const UINT message = bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
      for (int step = 0; step < 500; ++step) {
        const RECT r = place(child);
        const long low = bar == SB_HORZ ? r.left : r.top, high = bar == SB_HORZ ? r.right : r.bottom;
        const long view = bar == SB_HORZ ? client.right : client.bottom;
        if (low >= 0 && high <= view) break;
        const int before = ::GetScrollPos(hwnd_, bar);
        ::SendMessageW(hwnd_, message, low < 0 ? SB_LINEUP : SB_LINEDOWN, 0);
        if (::GetScrollPos(hwnd_, bar) == before) break;
      }
    }
  };
  int reached = 0;
  for (HWND child = ::GetWindow(hwnd_, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if ((::GetWindowLongW(child, GWL_STYLE) & 0xF) == BS_GROUPBOX && class_name(child) == L"Button") continue;
    if (cut) scroll_to(child);
    const RECT r = place(child);
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
        << "control " << ::GetDlgCtrlID(child) << " out of reach at " << r.left << "," << r.top;
    ++reached;
  }
  EXPECT_GT(reached, 100);
  if (!cut) return;
  // Tab brings each control it focuses into view.
  ::SendMessageW(hwnd_, WM_VSCROLL, SB_TOP, 0);
  ::SendMessageW(hwnd_, WM_HSCROLL, SB_TOP, 0);
  const HWND first_tab = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE);
  ::SetFocus(first_tab);
  int tabs = 0;
  for (int tab = 0; tab < 200; ++tab) {
    MSG msg{::GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    ::IsDialogMessageW(hwnd_, &msg);
    pump_messages();
    HWND focus = ::GetFocus();
    while (focus && ::GetParent(focus) != hwnd_) focus = ::GetParent(focus);
    ASSERT_NE(focus, nullptr);
    const RECT r = place(focus);
    EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
        << "control " << ::GetDlgCtrlID(focus) << " focused out of view at " << r.left << "," << r.top;
    if (focus == first_tab) break;
    ++tabs;
  }
  EXPECT_GT(tabs, 20);  // the enabled buttons, fields and lists
  // The wheel: a notch down moves the controls up, Shift with it left.
  ::SendMessageW(hwnd_, WM_VSCROLL, SB_TOP, 0);
  ::SendMessageW(hwnd_, WM_HSCROLL, SB_TOP, 0);
  const HWND first = ::GetWindow(hwnd_, GW_CHILD);
  const RECT before = place(first);
  if (whole.bottom > client.bottom) {
    ::SendMessageW(hwnd_, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    EXPECT_LT(place(first).top, before.top);
  }
  if (whole.right > client.right) {
    ::SendMessageW(hwnd_, WM_MOUSEWHEEL, MAKEWPARAM(MK_SHIFT, -WHEEL_DELTA), 0);
    EXPECT_LT(place(first).left, before.left);
  }
}

// Every caption whole in its control and the Korean texts drawn, in the
// template's font or, where the system lacks it, the one picked in its
// place (scripts/test-windows runs this once more without 굴림).
TEST_F(ConsoleWin32Test, EveryCaptionFitsItsControlInTheDialogsFont) {
  const auto font = reinterpret_cast<HFONT>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0));
  const HDC dc = ::GetDC(hwnd_);
  const HGDIOBJ old = ::SelectObject(dc, font);
  const std::wstring korean = widen("정보확인");
  std::vector<WORD> glyphs(korean.size());
  ::GetGlyphIndicesW(dc, korean.c_str(), static_cast<int>(korean.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
  for (WORD glyph : glyphs) EXPECT_NE(glyph, 0xFFFF) << "no Hangul in the dialog's font";
  SIZE space{};
  ::GetTextExtentPoint32W(dc, L" ", 1, &space);
  for (const ControlTemplate& c : main_dialog_template().controls) {
    std::wstring text = widen(c.caption);
    std::erase(text, L'&');
    if (text.empty()) continue;
    int margin = 0;  // what the control keeps for itself
    switch (c.kind) {
      case ControlKind::Label:
        break;
      case ControlKind::PushButton:
      case ControlKind::DefPushButton:
        margin = 2 * (::GetSystemMetrics(SM_CXEDGE) + 1);
        break;
      case ControlKind::GroupBox:
        margin = 2 * space.cx + 2 * ::GetSystemMetrics(SM_CXEDGE);
        break;
      default:
        continue;
    }
    const HWND control = c.id >= 0 ? ::GetDlgItem(hwnd_, c.id) : nullptr;
    RECT place = control ? RECT{} : dialog_units(c.x, c.y, c.cx, c.cy);
    if (control) ::GetClientRect(control, &place);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    EXPECT_LE(extent.cx, place.right - place.left - margin) << c.caption << " (" << c.id << ") is cut";
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(hwnd_, dc);
}

// A name the ports file maps shows the whole URL it leads to: the port's
// value wraps after the "=" and the URL fits its second line.
TEST_F(ConsoleWin32Test, EveryCaptionFitsAlsoAMappedPortsWholeUrlInTheLinkPanel) {
  const HDC dc = ::GetDC(hwnd_);
  const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
  for (int id : {IDC_LINK_PSB_PORT, IDC_LINK_DRVB_PORT}) {
    const HWND control = ::GetDlgItem(hwnd_, id);
    ASSERT_NE(control, nullptr);
    RECT room;
    ::GetClientRect(control, &room);
    for (const char* port :
         {"COM7", "COM7 = rfc2217://127.0.0.1:17001", "COM12 = rfc2217://bench-robot-07.lab:4001",
          "COM8 = tcp://192.168.100.200:65535"}) {
      SCOPED_TRACE(std::to_string(id) + ": " + port);
      const std::wstring text = widen(port);
      ::SetWindowTextW(control, text.c_str());
      wchar_t shown[128] = {};
      ::GetWindowTextW(control, shown, 128);
      EXPECT_EQ(std::wstring(shown), text);
      // As a static control draws its text (SS_LEFT).
      RECT need{0, 0, room.right, 0};
      ::DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS);
      EXPECT_LE(need.right, room.right) << "a word wider than the control";
      EXPECT_LE(need.bottom, room.bottom) << "lines below the control";
    }
  }
  ::SelectObject(dc, old);
  ::ReleaseDC(hwnd_, dc);
}

}  // namespace
}  // namespace tavik::console
