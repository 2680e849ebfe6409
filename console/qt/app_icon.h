// The program's icon (resource 128): a 32 x 32 and a 16 x 16 image.
#pragma once

#include <QIcon>

namespace tavik::console {

QIcon app_icon();

}  // namespace tavik::console
