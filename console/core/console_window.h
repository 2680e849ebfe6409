// What the console's logic needs of its window. The Qt dialog implements it
// for the operator, a recording double implements it for the tests.
//
// Threads: EnableControl, SetControlText, SetControlStale, SetProgressRange and
// SetProgressPos are called from the window's thread and from worker threads; an
// implementation applies them on its GUI thread, in the order of the calls
// (it may skip a text that a later one replaces before it could be seen),
// without making a worker wait for the GUI thread (the logic joins its
// workers from the window's thread, so such a wait would never end).
// Every other operation is called from the window's thread only.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "console/core/port_list.h"

namespace tavik::console {

class ConsoleWindow {
 public:
  virtual ~ConsoleWindow() = default;

  virtual void EnableControl(int id, bool enable) = 0;
  // Text in UTF-8.
  virtual void SetControlText(int id, const std::string& text) = 0;
  // Selected index of a list, -1 when nothing is selected.
  virtual int GetListSelection(int id) = 0;
  virtual void SetListSelection(int id, int index) = 0;
  virtual void InsertListItem(int id, int index, const std::string& text) = 0;
  virtual void SetProgressRange(int id, int low, int high) = 0;
  virtual void SetProgressPos(int id, int pos) = 0;
  // Draws a read-out as stale (greyed, its text kept) or as current again.
  // Called from any thread, like SetControlText.
  virtual void SetControlStale(int id, bool stale) { (void)id, (void)stale; }
  // Modal message box; returns when the operator has closed it.
  virtual void ShowMessage(const std::string& text) = 0;
  // Current text of the "Write Param Value" field (1066).
  virtual std::string GetWriteParamText() = 0;
  // Text in the edit field of list `id`: the selected entry's, or what the
  // operator typed there (UTF-8).
  virtual std::string GetListText(int id) {
    (void)id;
    return {};
  }

  // The serial ports the system reports, in its order.
  virtual std::vector<SystemPort> SystemPorts() { return {}; }
  // The port last connected under `key` ("PsbPort", "DrvbPort") by this
  // user, empty when none; RememberPort records it for the next start.
  virtual std::string RememberedPort(const std::string& key) {
    (void)key;
    return {};
  }
  virtual void RememberPort(const std::string& key, const std::string& name) { (void)key, (void)name; }

  // Starts fn on a new thread into `thread`; false when none could be started.
  virtual bool StartThread(std::thread& thread, std::function<void()> fn) {
    try {
      thread = std::thread(std::move(fn));
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }
};

}  // namespace tavik::console
