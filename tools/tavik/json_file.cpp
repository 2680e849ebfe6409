#include "json_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "options.h"

namespace tavik::cli {

Json read_json_file(const std::string& option, const std::string& path) {
  std::ifstream file(path);
  if (!file) throw CommandError::usage(option + " " + path + ": cannot read it: " + std::strerror(errno));
  std::stringstream text;
  text << file.rdbuf();
  try {
    return Json::parse(text.str());
  } catch (const Json::parse_error& e) {
    throw CommandError::usage(option + " " + path + ": not JSON: " + e.what());
  }
}

}  // namespace tavik::cli
