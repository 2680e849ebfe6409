// The Trends window on Windows: a modeless window owned by the main window
// that shows the three plots of the pollers' last two minutes (drawn by
// TrendPlotPainter), the values under the pointer, freezes on request and
// saves what it shows as CSV (trend_csv_file.h).
//
// Threads: everything runs on the thread that created the window; the
// history is the only thing the workers touch, behind its own lock.
#pragma once

#include <windows.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "console/core/trend_history.h"
#include "console/core/trend_plot.h"
#include "console/win32/trend_plot_painter.h"

namespace tavik::console {

class TrendsWindow {
 public:
  // The window is created hidden; `owner` lends it its font.
  TrendsWindow(HINSTANCE instance, HWND owner, const TrendHistory& history);
  ~TrendsWindow();
  TrendsWindow(const TrendsWindow&) = delete;
  TrendsWindow& operator=(const TrendsWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  // Shows it with a fresh picture and brings it to the front.
  void Show();
  // Esc and the close box hide it; Show brings it back as it was.
  void Hide();

  // "Freeze" keeps drawing the snapshot of that moment until "Resume".
  void SetFrozen(bool frozen);
  bool frozen() const { return frozen_; }
  // Writes the CSV of the snapshot shown to `path`; returns why it failed,
  // or an empty text. "Save CSV…" calls it with the file the user chose.
  std::string SaveCsv(const std::wstring& path) const;

  // What is drawn and where, for the tests.
  const TrendSnapshot& snapshot() const { return snapshot_; }
  const std::array<TrendRect, 3>& plot_rects() const { return rects_; }
  // Handles the window's dialog keys (Tab, Esc) when `message` is for it;
  // the main window's modal loop hands its messages here.
  bool PreTranslate(MSG* message);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnCreate();
  void OnSize(int width, int height);
  void OnTimer();
  void OnMouseMove(int x, int y);
  // Shows a new snapshot when one is due (always with `force`).
  void TakeSnapshot(bool force = true);
  void UpdateTimer();
  void UpdateHoverText();
  void Paint(HDC target) const;

  HINSTANCE instance_;
  HWND owner_;
  TrendFollower follower_;
  HWND hwnd_ = nullptr;
  HWND freeze_button_ = nullptr;
  HWND save_button_ = nullptr;
  HWND hover_text_ = nullptr;
  HFONT font_ = nullptr;  // the owner's, not ours to delete
  int char_width_ = 7;
  int line_height_ = 14;
  TrendPlotPainter painter_;
  bool frozen_ = false;
  bool timer_on_ = false;
  TrendSnapshot snapshot_;
  TrendFrame frame_;
  std::array<TrendRect, 3> rects_{};
  double hover_x_ = -1;  // 0..1 across the plots while the pointer is over one
};

}  // namespace tavik::console
