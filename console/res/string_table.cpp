#include "console/res/string_table.h"

#include "console/res/resource.h"

namespace tavik::console {

std::string_view load_string(int id) {
  switch (id) {
    case IDS_ABOUTBOX:
      return "Tavik V1 Basic 정보(&A)...";
    default:
      return {};
  }
}

}  // namespace tavik::console
