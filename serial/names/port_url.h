// Network port names: tcp://HOST:PORT (raw bytes; socket:// is the same, as
// pyserial spells it) and rfc2217://HOST:PORT (Telnet COM-PORT-OPTION). HOST
// is a name, an IPv4 address or an IPv6 address in brackets.
#pragma once

#include <string>
#include <string_view>

namespace tavik {

enum class PortScheme { kNone, kTcp, kRfc2217 };

struct PortUrl {
  PortScheme scheme = PortScheme::kNone;
  std::string host;  // without the brackets of an IPv6 address
  std::string port;  // decimal, 1 to 65535
};

// Connecting (name resolution included) waits at most the port's time-out,
// and never longer than this.
inline constexpr int kConnectBoundMs = 2000;

// True when name starts with a scheme ("xyz://"), that is it is meant as a
// network port and not a device.
bool is_port_url(std::string_view name);

// Parses a network port name. Returns an empty string and fills url, or
// says what is wrong with it ("unknown scheme", "no port", ...).
std::string parse_port_url(std::string_view name, PortUrl& url);

}  // namespace tavik
