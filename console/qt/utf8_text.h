// The console's texts are UTF-8 (the Korean ones included); Qt's are QString.
#pragma once

#include <QString>
#include <string_view>

namespace tavik::console {

inline QString from_utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace tavik::console
