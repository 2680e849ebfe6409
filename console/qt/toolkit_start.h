// The toolkit's start, which ends the program when no window can be opened
// (no display, no usable platform plugin): with one line on the standard
// error saying why and exit status 1, instead of the toolkit's abort, and
// after `clean_up` (the simulated boards remove their links).
#pragma once

#include <functional>

namespace tavik::console {

class ToolkitStart {
 public:
  // From now on until started(), the toolkit's messages are held back: a
  // fatal one ends the program as above.
  explicit ToolkitStart(std::function<void()> clean_up);
  // The QApplication is up: the messages held back go to the standard
  // error, and later ones where the toolkit sends them.
  void started();
  ~ToolkitStart() { started(); }
  ToolkitStart(const ToolkitStart&) = delete;
  ToolkitStart& operator=(const ToolkitStart&) = delete;
};

}  // namespace tavik::console
