#include "ros_names.h"

#include "command_error.h"

namespace tavik::cli {
namespace {

bool name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

// ROS 2's rules for a name's tokens: letters, digits and '_', none empty,
// none starting with a digit, no "__".
RosNames::RosNames(std::string_view ns) {
  while (!ns.empty() && ns.front() == '/') ns.remove_prefix(1);
  while (!ns.empty() && ns.back() == '/') ns.remove_suffix(1);
  std::string_view rest = ns;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view token = rest.substr(0, slash);
    bool ok = !token.empty() && !(token.front() >= '0' && token.front() <= '9') &&
              token.find("__") == std::string_view::npos;
    for (char c : token) ok = ok && name_char(c);
    if (!ok)
      throw CommandError::usage("--namespace '" + std::string(ns) +
                                "' is not a ROS 2 namespace: each part letters, digits and '_', not "
                                "starting with a digit, no '__'");
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  }
  ns_ = ns;
}

std::string RosNames::topic(std::string_view name) const {
  return "rt/" + (ns_.empty() ? std::string() : ns_ + "/") + std::string(name);
}

std::string RosNames::frame(std::string_view name) const {
  return (ns_.empty() ? std::string() : ns_ + "/") + std::string(name);
}

}  // namespace tavik::cli
