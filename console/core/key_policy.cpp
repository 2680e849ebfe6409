#include "console/core/key_policy.h"

#include <algorithm>
#include <iterator>

namespace tavik::console {
namespace {

using Kind = KeyAction::Kind;

// The jog button each arrow holds.
int arrow_jog(Key key) {
  switch (key) {
    case Key::kUp:
      return IDC_FRONT;
    case Key::kDown:
      return IDC_REAR;
    case Key::kLeft:
      return IDC_LEFT;
    case Key::kRight:
      return IDC_RIGHT;
    default:
      return 0;
  }
}

}  // namespace

bool is_jog_button(int id) {
  return std::find(std::begin(kJogButtons), std::end(kJogButtons), id) != std::end(kJogButtons);
}

KeyAction key_action(const KeyEvent& event, bool jogging) {
  if (event.modified) return {};
  const bool on_jog_button = event.focus == Focus::kJogButton;
  if (event.key == Key::kEscape) {
    // Also from a jog button that the key holds down: the jog ends with the window.
    if (!event.press || event.focus_takes_key) return {};
    return {Kind::kClose};
  }
  // Space or Enter on a jog button is that button's alone: it holds, it does not click.
  if (on_jog_button && (event.key == Key::kSpace || event.key == Key::kReturn)) {
    if (event.repeat) return {Kind::kTaken};
    if (event.press) return {Kind::kJogPress, event.focus_id, true};
    return {Kind::kJogRelease, 0, true};
  }
  if (event.key == Key::kReturn) {
    // A list's Enter is the list's own (it may take what was typed).
    if (!event.press || event.focus_takes_key || event.focus == Focus::kList) return {};
    return {event.focus == Focus::kButton ? Kind::kClickFocused : Kind::kEnter};
  }
  const int jog = arrow_jog(event.key);
  if (jog == 0 || !jogging) return {};
  if (event.focus == Focus::kEditable || event.focus == Focus::kList) return {};
  if (event.repeat) return {Kind::kTaken};
  if (event.press) return {Kind::kJogPress, jog};
  return {Kind::kJogRelease};
}

}  // namespace tavik::console
