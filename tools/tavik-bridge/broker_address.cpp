#include "broker_address.h"

#include "command_error.h"
#include "serial/names/port_url.h"

namespace tavik::cli {

BrokerAddress broker_address(const std::string& url) {
  BrokerAddress address;
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    rest = url.substr(7);
  } else if (url.rfind("mqtts://", 0) == 0) {
    rest = url.substr(8);
    address.tls = true;
    address.port = 8883;
  } else {
    throw CommandError::usage("--broker: '" + url + "' is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
  }
  // HOST:PORT as a network port name takes it, the scheme's port where none is given.
  const std::size_t host_end = rest.rfind('[', 0) == 0 ? rest.find(']') : 0;
  const bool has_port = host_end != std::string::npos && rest.find(':', host_end) != std::string::npos;
  PortUrl parsed;
  if (const std::string why =
          parse_port_url("tcp://" + rest + (has_port ? "" : ":" + std::to_string(address.port)), parsed);
      !why.empty())
    throw CommandError::usage("--broker: '" + url + "': " + why);
  address.host = parsed.host;
  address.port = std::stoi(parsed.port);
  return address;
}

}  // namespace tavik::cli
