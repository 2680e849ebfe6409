// What each key does in the console's window, for both views: the table of
// key events and the actions they lead to.
#include "console/core/key_policy.h"

#include <gtest/gtest.h>

#include <string>

namespace tavik::console {
namespace {

using Kind = KeyAction::Kind;

std::string describe(const KeyAction& a) {
  return "kind " + std::to_string(static_cast<int>(a.kind)) + ", jog " + std::to_string(a.jog_id) +
         ", shows " + std::to_string(a.shows_focused);
}

KeyEvent press(Key key, Focus focus = Focus::kNone, int id = 0) {
  return {key, true, false, false, focus, id, false};
}
KeyEvent release(Key key, Focus focus = Focus::kNone, int id = 0) {
  return {key, false, false, false, focus, id, false};
}
KeyEvent repeat(KeyEvent e) {
  e.repeat = true;
  return e;
}
KeyEvent modified(KeyEvent e) {
  e.modified = true;
  return e;
}
KeyEvent taking(KeyEvent e) {
  e.focus_takes_key = true;
  return e;
}

TEST(KeyPolicy, EachKeyEventLeadsToItsAction) {
  struct Case {
    const char* what;
    KeyEvent event;
    bool jogging;
    KeyAction expected;
  };
  const Case cases[] = {
      // Esc closes from anywhere, also during a jog held by a key or the mouse.
      {"Esc on the window", press(Key::kEscape), false, {Kind::kClose}},
      {"Esc in a field", press(Key::kEscape, Focus::kEditable, IDC_WRITE_PARAM_VALUE), false, {Kind::kClose}},
      {"Esc on a button", press(Key::kEscape, Focus::kButton, IDC_PSB_CONNECT), false, {Kind::kClose}},
      {"Esc during a jog, on the held button",
       press(Key::kEscape, Focus::kJogButton, IDC_FRONT),
       true,
       {Kind::kClose}},
      {"Esc during an arrow jog", press(Key::kEscape, Focus::kOther, IDC_ENCODER_LEFT), true, {Kind::kClose}},
      {"Esc held down", repeat(press(Key::kEscape)), true, {Kind::kClose}},
      {"Esc let go", release(Key::kEscape, Focus::kJogButton, IDC_FRONT), true, {}},
      {"Shift+Esc", modified(press(Key::kEscape)), true, {}},
      {"Esc closing an open list", taking(press(Key::kEscape, Focus::kList, IDC_PSB_PORT)), false, {}},
      // Enter: the focused button's click, the logic's elsewhere, the list's own in a list.
      {"Enter on a button",
       press(Key::kReturn, Focus::kButton, IDC_USONIC_ENABLE),
       false,
       {Kind::kClickFocused}},
      {"Enter in Write Param Value",
       press(Key::kReturn, Focus::kEditable, IDC_WRITE_PARAM_VALUE),
       false,
       {Kind::kEnter}},
      {"Enter on the window", press(Key::kReturn), false, {Kind::kEnter}},
      {"Enter let go on a button", release(Key::kReturn, Focus::kButton, IDC_USONIC_ENABLE), false, {}},
      {"Enter in a list", press(Key::kReturn, Focus::kList, IDC_PARAM_SELECT), false, {}},
      {"Ctrl+Enter", modified(press(Key::kReturn, Focus::kEditable, IDC_WRITE_PARAM_VALUE)), false, {}},
      // Space or Enter on a jog button holds it and shows it held.
      {"Space on Front",
       press(Key::kSpace, Focus::kJogButton, IDC_FRONT),
       true,
       {Kind::kJogPress, IDC_FRONT, true}},
      {"Space let go on Front",
       release(Key::kSpace, Focus::kJogButton, IDC_FRONT),
       true,
       {Kind::kJogRelease, 0, true}},
      {"Enter on Rear",
       press(Key::kReturn, Focus::kJogButton, IDC_REAR),
       true,
       {Kind::kJogPress, IDC_REAR, true}},
      {"Enter let go on Rear",
       release(Key::kReturn, Focus::kJogButton, IDC_REAR),
       true,
       {Kind::kJogRelease, 0, true}},
      {"Space held on Left", repeat(press(Key::kSpace, Focus::kJogButton, IDC_LEFT)), true, {Kind::kTaken}},
      {"Space on a disabled jog (the logic ignores it)",
       press(Key::kSpace, Focus::kJogButton, IDC_RIGHT),
       false,
       {Kind::kJogPress, IDC_RIGHT, true}},
      {"Alt+Space on Front", modified(press(Key::kSpace, Focus::kJogButton, IDC_FRONT)), true, {}},
      {"Space on another button", press(Key::kSpace, Focus::kButton, IDC_PSB_CONNECT), true, {}},
      // The arrows jog while Robot Control is enabled, but where they move a cursor or a selection.
      {"Up", press(Key::kUp, Focus::kButton, IDC_PSB_CONNECT), true, {Kind::kJogPress, IDC_FRONT}},
      {"Down", press(Key::kDown, Focus::kOther, IDC_ENCODER_LEFT), true, {Kind::kJogPress, IDC_REAR}},
      {"Left", press(Key::kLeft), true, {Kind::kJogPress, IDC_LEFT}},
      {"Right on a jog button",
       press(Key::kRight, Focus::kJogButton, IDC_FRONT),
       true,
       {Kind::kJogPress, IDC_RIGHT}},
      {"Up let go", release(Key::kUp, Focus::kButton, IDC_PSB_CONNECT), true, {Kind::kJogRelease}},
      {"Up held", repeat(press(Key::kUp)), true, {Kind::kTaken}},
      {"Up without Robot Control", press(Key::kUp, Focus::kButton, IDC_PSB_CONNECT), false, {}},
      {"Up let go without Robot Control", release(Key::kUp), false, {}},
      {"Up held without Robot Control", repeat(press(Key::kUp)), false, {}},
      {"Left in Write Param Value", press(Key::kLeft, Focus::kEditable, IDC_WRITE_PARAM_VALUE), true, {}},
      {"Down in a list", press(Key::kDown, Focus::kList, IDC_PARAM_SELECT), true, {}},
      {"Shift+Up", modified(press(Key::kUp)), true, {}},
      {"another key", press(Key::kOther, Focus::kJogButton, IDC_FRONT), true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const KeyAction action = key_action(c.event, c.jogging);
    EXPECT_EQ(action, c.expected) << describe(action);
  }
}

}  // namespace
}  // namespace tavik::console
