// Where the console's other windows open, so that none covers the main
// window's jog buttons (the middle of its template, 207 to 284 of its 414
// dialog units down): the Trends window beside the main window, the About
// box centred across the main window's upper part. Screen pixels.
#pragma once

namespace tavik::console {

struct ScreenRect {
  int left, top, width, height;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
};

struct ScreenPoint {
  int x, y;
};

// Right of `main` where `room` (the screen's work area) has space, else
// left of it, else at the right edge of `room`; the top as the main
// window's, moved into `room`.
ScreenPoint beside(const ScreenRect& main, int width, int height, const ScreenRect& room);
// Centred across `main`, its top a tenth of the way down `main`, moved
// into `room`.
ScreenPoint over_top(const ScreenRect& main, int width, int height, const ScreenRect& room);

}  // namespace tavik::console
