#include "console/qt/app_icon.h"

#include <QPixmap>

// The resources are linked from a static library, so the linker needs a
// reference to pull them in.
static void init_console_resources() { Q_INIT_RESOURCE(tavik); }

namespace tavik::console {

QIcon app_icon() {
  static const bool initialised = (init_console_resources(), true);
  (void)initialised;
  QIcon icon;
  icon.addPixmap(QPixmap(QStringLiteral(":/tavik/tavik-32.xpm")));
  icon.addPixmap(QPixmap(QStringLiteral(":/tavik/tavik-16.xpm")));
  return icon;
}

}  // namespace tavik::console
