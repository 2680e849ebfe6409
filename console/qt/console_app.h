// The application object: sets up the toolkit for the console's dialogs and
// runs the main window modally; the program ends when the window closes.
#pragma once

#include <QString>

namespace tavik::console {

class CConsoleApp {
 public:
  struct Options {
    // Saves a picture of the main window to this file as it closes (and
    // of the Trends window, when it is open, to NAME-trends.EXT).
    QString screenshot;
  };

  // Needs the QApplication. Returns the program's exit code.
  int InitInstance(const Options& options);

  // Sets the application's name, icon and dialog font, and the stand-ins
  // for the templates' font. Needs the QApplication.
  static void SetUpToolkit();

  // Prints each addressable control of the main window as "ID x y width
  // height" in pixels of the client area, in template order, for scripts
  // that drive the window. Needs the QApplication.
  static void PrintLayout();
};

}  // namespace tavik::console
