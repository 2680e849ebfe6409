#include "node_log.h"

#include "utc_now.h"

namespace tavik::cli {

void NodeLog::line(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (out_.json())
    out_.line(Json{{"log", text}, {"stamp", utc_now()}}.dump(-1, ' ', false, Json::error_handler_t::replace));
  else
    out_.line("tavik-ros2: " + text);
}

}  // namespace tavik::cli
