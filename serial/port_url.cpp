#include "serial/port_url.h"

namespace tavik {
namespace {

bool is_scheme_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
         c == '.';
}

bool is_host_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

}  // namespace

bool is_port_url(std::string_view name) {
  const auto colon = name.find("://");
  if (colon == std::string_view::npos || colon == 0) return false;
  for (char c : name.substr(0, colon)) {
    if (!is_scheme_char(c)) return false;
  }
  return true;
}

std::string parse_port_url(std::string_view name, PortUrl& url) {
  url = {};
  if (!is_port_url(name)) return "not a network port (tcp://HOST:PORT or rfc2217://HOST:PORT)";
  const auto colon = name.find("://");
  const std::string_view scheme = name.substr(0, colon);
  if (scheme == "tcp" || scheme == "socket") {
    url.scheme = PortScheme::kTcp;
  } else if (scheme == "rfc2217") {
    url.scheme = PortScheme::kRfc2217;
  } else {
    return "unknown scheme " + std::string(scheme) + "://, not tcp://, socket:// or rfc2217://";
  }
  std::string_view rest = name.substr(colon + 3);
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  std::string_view host;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string_view::npos) return "no ] after the IPv6 address";
    host = rest.substr(1, close - 1);
    for (char c : host) {
      if (!(is_host_char(c) || c == ':' || c == '%')) return "bad character in the IPv6 address";
    }
    rest.remove_prefix(close + 1);
    if (rest.empty() || rest.front() != ':') return "no :PORT after the host";
  } else {
    const auto sep = rest.rfind(':');
    if (sep == std::string_view::npos) return "no :PORT after the host";
    host = rest.substr(0, sep);
    for (char c : host) {
      if (!is_host_char(c)) return "bad character in the host name";
    }
    rest.remove_prefix(sep);
  }
  if (host.empty()) return "no host";
  const std::string_view digits = rest.substr(1);
  if (digits.find('/') != std::string_view::npos) return "nothing may follow HOST:PORT";
  if (digits.empty() || digits.size() > 5) return "the port is not a number from 1 to 65535";
  long number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return "the port is not a number from 1 to 65535";
    number = number * 10 + (c - '0');
  }
  if (number < 1 || number > 65535) return "the port is not a number from 1 to 65535";
  url.host = std::string(host);
  url.port = std::to_string(number);
  return {};
}

}  // namespace tavik
