// A ConsoleWindow whose calls from any thread (EnableControl, SetControlText,
// SetControlStale, SetProgressRange, SetProgressPos) become ControlUpdates
// handed to queue(); a view applies them on its GUI thread.
#pragma once

#include <string>

#include "console/core/console_window.h"
#include "console/core/control_update_queue.h"

namespace tavik::console {

class QueuedConsoleWindow : public ConsoleWindow {
 public:
  void EnableControl(int id, bool enable) final {
    queue({ControlUpdate::Kind::Enable, id, enable ? 1 : 0, 0, {}});
  }
  void SetControlText(int id, const std::string& text) final {
    queue({ControlUpdate::Kind::Text, id, 0, 0, text});
  }
  void SetControlStale(int id, bool stale) final {
    queue({ControlUpdate::Kind::Stale, id, stale ? 1 : 0, 0, {}});
  }
  void SetProgressRange(int id, int low, int high) final {
    queue({ControlUpdate::Kind::Range, id, low, high, {}});
  }
  void SetProgressPos(int id, int pos) final { queue({ControlUpdate::Kind::Position, id, pos, 0, {}}); }

 protected:
  // Called on any thread, in the order of the calls above.
  virtual void queue(ControlUpdate update) = 0;
};

}  // namespace tavik::console
