// What a key does in the console's main window, whatever the toolkit: the
// views turn their key events into a KeyEvent, the logic (CConsoleDlg::OnKey)
// does its part of the answer, and the view does the rest (closes the
// window, clicks the focused button, shows a jog button held).
//
// Esc closes the window, which stops the wheels first. Enter clicks the
// focused button and goes to the logic anywhere else (the window has no
// default button); in a list it is the list's. Space or Enter on a focused jog button holds it as a
// mouse press does, and letting go releases it. The arrows jog while Robot
// Control is enabled (Up Front, Down Rear, Left Left, Right Right), except
// where they move a cursor or a selection; letting go of one stops.
#pragma once

#include "console/core/control_ids.h"

namespace tavik::console {

// The four jog buttons, dead-man switches.
inline constexpr int kJogButtons[] = {IDC_FRONT, IDC_REAR, IDC_LEFT, IDC_RIGHT};
bool is_jog_button(int id);

enum class Key { kOther, kEscape, kReturn, kSpace, kUp, kDown, kLeft, kRight };

// What has the keyboard focus.
enum class Focus {
  kNone,  // the window itself
  kJogButton,
  kButton,    // any other push button
  kEditable,  // a field the operator types into: the arrows move its cursor
  kList,      // a drop-down list or its edit field: the arrows move its selection
  kOther,     // a read-out, a bar, a group
};

struct KeyEvent {
  Key key = Key::kOther;
  bool press = true;      // false: the key was let go
  bool repeat = false;    // a press of a key held down already
  bool modified = false;  // Shift, Ctrl or Alt (the keypad is no modifier)
  Focus focus = Focus::kNone;
  int focus_id = 0;  // the focused control's ID; 0 for none
  // The focused control uses Esc or Enter itself (an open drop-down list
  // closes on them).
  bool focus_takes_key = false;
};

struct KeyAction {
  enum class Kind {
    kNone,          // not the console's: the toolkit's own handling
    kTaken,         // the console's, nothing to do (a held key's repeat)
    kClose,         // close the window
    kClickFocused,  // click the focused button
    kEnter,         // Enter for the logic (CConsoleDlg::OnEnterKey(focus_id))
    kJogPress,      // hold jog button `jog_id`
    kJogRelease,    // let go of every jog button
  };
  Kind kind = Kind::kNone;
  int jog_id = 0;
  // The focused jog button is shown pressed (kJogPress) or released
  // (kJogRelease): the key holds it, not the mouse.
  bool shows_focused = false;

  friend bool operator==(const KeyAction&, const KeyAction&) = default;
};

// The action for `event`; `jogging` is whether Robot Control is enabled.
KeyAction key_action(const KeyEvent& event, bool jogging);

}  // namespace tavik::console
