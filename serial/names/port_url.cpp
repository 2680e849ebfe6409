#include "serial/names/port_url.h"

#include <algorithm>

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

bool is_hex_digit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool is_ipv4_address(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    const auto dot = text.find('.');
    const std::string_view digits = text.substr(0, part < 3 ? dot : text.size());
    if ((part < 3 && dot == std::string_view::npos) || digits.empty() || digits.size() > 3) return false;
    int value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255) return false;
    text.remove_prefix(part < 3 ? dot + 1 : text.size());
  }
  return true;
}

// Counts the 16-bit groups of one side of an IPv6 address's "::" (or of
// the whole address); an IPv4 address may end the last side. False for a
// malformed side.
bool count_ipv6_groups(std::string_view side, bool last, int& groups) {
  while (!side.empty()) {
    const auto colon = side.find(':');
    const std::string_view group = side.substr(0, colon);
    if (colon == std::string_view::npos && last && group.find('.') != std::string_view::npos) {
      groups += 2;
      return is_ipv4_address(group);
    }
    if (group.empty() || group.size() > 4) return false;
    for (char c : group) {
      if (!is_hex_digit(c)) return false;
    }
    ++groups;
    if (colon == std::string_view::npos) break;
    side.remove_prefix(colon + 1);
    if (side.empty()) return false;  // a single ':' at the end
  }
  return true;
}

// An IPv6 address as written between brackets, with an optional %zone.
bool is_ipv6_address(std::string_view text) {
  if (const auto percent = text.find('%'); percent != std::string_view::npos) {
    const std::string_view zone = text.substr(percent + 1);
    if (zone.empty()) return false;
    for (char c : zone) {
      if (!is_host_char(c)) return false;
    }
    text = text.substr(0, percent);
  }
  int groups = 0;
  const auto gap = text.find("::");
  if (gap == std::string_view::npos) return count_ipv6_groups(text, true, groups) && groups == 8;
  if (text.find("::", gap + 1) != std::string_view::npos) return false;
  return count_ipv6_groups(text.substr(0, gap), false, groups) &&
         count_ipv6_groups(text.substr(gap + 2), true, groups) && groups < 8;
}

// "" for a host name or IPv4 address, else why not.
std::string host_name_problem(std::string_view host) {
  for (char c : host) {
    if (!is_host_char(c)) return "bad character in the host name";
  }
  // An argument to whatever might pass the name on, not a host.
  if (host.front() == '-') return "the host name starts with '-'";
  if (host.size() > 253) return "the host name is longer than 253 characters";
  for (std::size_t start = 0; start <= host.size();) {
    const auto dot = std::min(host.find('.', start), host.size());
    if (dot == start) return "an empty part between dots in the host name";
    if (dot - start > 63) return "a part of the host name is longer than 63 characters";
    start = dot + 1;
  }
  return "";
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
    if (!is_ipv6_address(host)) return "not an IPv6 address between the brackets";
    rest.remove_prefix(close + 1);
    if (rest.empty() || rest.front() != ':') return "no :PORT after the host";
  } else {
    const auto sep = rest.rfind(':');
    if (sep == std::string_view::npos) return "no :PORT after the host";
    host = rest.substr(0, sep);
    if (host.empty()) return "no host";
    if (std::string why = host_name_problem(host); !why.empty()) return why;
    rest.remove_prefix(sep);
  }
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
