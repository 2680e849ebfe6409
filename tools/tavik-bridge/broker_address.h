// The broker's address as --broker gives it: mqtt://HOST[:PORT] (1883) or
// mqtts://HOST[:PORT] (8883, TLS); HOST as a network port name takes it
// (serial/port_url.h: a name, an IPv4 address or an IPv6 address in brackets).
#pragma once

#include <string>

namespace tavik::cli {

struct BrokerAddress {
  std::string host;  // without the brackets of an IPv6 address
  int port = 1883;
  bool tls = false;
};

// Throws a usage error naming --broker when url is none of these.
BrokerAddress broker_address(const std::string& url);

}  // namespace tavik::cli
