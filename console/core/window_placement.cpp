#include "console/core/window_placement.h"

#include <algorithm>

namespace tavik::console {
namespace {

constexpr int kGap = 8;

int into(int start, int size, int room_start, int room_size) {
  return std::max(room_start, std::min(start, room_start + room_size - size));
}

}  // namespace

ScreenPoint beside(const ScreenRect& main, int width, int height, const ScreenRect& room) {
  int x = main.right() + kGap;
  if (x + width > room.right()) x = main.left - kGap - width;
  if (x < room.left) x = room.right() - width;
  return {into(x, width, room.left, room.width), into(main.top, height, room.top, room.height)};
}

ScreenPoint over_top(const ScreenRect& main, int width, int height, const ScreenRect& room) {
  const int x = main.left + (main.width - width) / 2;
  const int y = main.top + main.height / 10;
  return {into(x, width, room.left, room.width), into(y, height, room.top, room.height)};
}

}  // namespace tavik::console
