// Network port names: the hosts taken and those refused with why.
#include "serial/names/port_url.h"

#include <gtest/gtest.h>

#include <string>

namespace tavik {
namespace {

TEST(PortUrl, HostsTakenAndRefused) {
  const struct {
    const char* name;
    const char* why;  // "" when taken
    const char* host;
  } cases[] = {
      {"tcp://robot.local:4001", "", "robot.local"},
      {"tcp://10.0.0.7:4001", "", "10.0.0.7"},
      {"rfc2217://[::1]:7001", "", "::1"},
      {"rfc2217://[fe80::1%eth0]:7001", "", "fe80::1%eth0"},
      {"rfc2217://[::ffff:10.0.0.7]:7001", "", "::ffff:10.0.0.7"},
      {"rfc2217://[1:2:3:4:5:6:7:8]:7001", "", "1:2:3:4:5:6:7:8"},
      {"rfc2217://[zzzz]:7001", "not an IPv6 address between the brackets", ""},
      {"rfc2217://[1:2:3:4:5:6:7:8:9]:7001", "not an IPv6 address between the brackets", ""},
      {"rfc2217://[1::2::3]:7001", "not an IPv6 address between the brackets", ""},
      {"rfc2217://[::1%]:7001", "not an IPv6 address between the brackets", ""},
      {"rfc2217://[]:7001", "not an IPv6 address between the brackets", ""},
      {"tcp://...:4001", "an empty part between dots in the host name", ""},
      {"tcp://robot..local:4001", "an empty part between dots in the host name", ""},
      {"tcp://-oProxy:4001", "the host name starts with '-'", ""},
      {"tcp://robot local:4001", "bad character in the host name", ""},
      {"tcp://:4001", "no host", ""},
  };
  for (const auto& c : cases) {
    PortUrl url;
    EXPECT_EQ(parse_port_url(c.name, url), c.why) << c.name;
    EXPECT_EQ(url.host, c.host) << c.name;
  }
}

TEST(PortUrl, SchemesAndPortsTakenAndRefused) {
  const struct {
    const char* name;
    const char* why;  // "" when taken
    PortScheme scheme;
    const char* port;
  } cases[] = {
      {"tcp://robot:1", "", PortScheme::kTcp, "1"},
      {"socket://robot:65535", "", PortScheme::kTcp, "65535"},
      {"rfc2217://robot:7001", "", PortScheme::kRfc2217, "7001"},
      {"rfc2217://robot:7001/", "", PortScheme::kRfc2217, "7001"},
      {"tcp://robot:007", "", PortScheme::kTcp, "7"},
      {"COM7", "not a network port (tcp://HOST:PORT or rfc2217://HOST:PORT)", PortScheme::kNone, ""},
      {"/dev/ttyS0", "not a network port (tcp://HOST:PORT or rfc2217://HOST:PORT)", PortScheme::kNone, ""},
      {"telnet://robot:23", "unknown scheme telnet://, not tcp://, socket:// or rfc2217://",
       PortScheme::kNone, ""},
      {"TCP://robot:1", "unknown scheme TCP://, not tcp://, socket:// or rfc2217://", PortScheme::kNone, ""},
      {"tcp://robot", "no :PORT after the host", PortScheme::kNone, ""},
      {"rfc2217://[::1", "no ] after the IPv6 address", PortScheme::kNone, ""},
      {"rfc2217://[::1]", "no :PORT after the host", PortScheme::kNone, ""},
      {"rfc2217://[::1]7001", "no :PORT after the host", PortScheme::kNone, ""},
      {"tcp://robot:", "the port is not a number from 1 to 65535", PortScheme::kNone, ""},
      {"tcp://robot:0", "the port is not a number from 1 to 65535", PortScheme::kNone, ""},
      {"tcp://robot:65536", "the port is not a number from 1 to 65535", PortScheme::kNone, ""},
      {"tcp://robot:123456", "the port is not a number from 1 to 65535", PortScheme::kNone, ""},
      {"tcp://robot:-1", "the port is not a number from 1 to 65535", PortScheme::kNone, ""},
      {"tcp://robot:4001/x", "nothing may follow HOST:PORT", PortScheme::kNone, ""},
      {"tcp://robot:4001//", "nothing may follow HOST:PORT", PortScheme::kNone, ""},
  };
  for (const auto& c : cases) {
    PortUrl url;
    EXPECT_EQ(parse_port_url(c.name, url), c.why) << c.name;
    EXPECT_EQ(url.port, c.port) << c.name;
    if (c.why[0] == '\0') {
      EXPECT_EQ(url.scheme, c.scheme) << c.name;
    }
  }
}

TEST(PortUrl, HostNameLimits) {
  const std::string label63(63, 'a');
  const std::string label64(64, 'a');
  std::string name253 = label63 + "." + label63 + "." + label63 + "." + std::string(61, 'a');
  const struct {
    std::string host;
    const char* why;
  } cases[] = {
      {label63, ""},
      {label64, "a part of the host name is longer than 63 characters"},
      {name253, ""},
      {name253 + "a", "the host name is longer than 253 characters"},
      {"robot.", "an empty part between dots in the host name"},
      {".robot", "an empty part between dots in the host name"},
      {"robot_1", ""},
  };
  for (const auto& c : cases) {
    PortUrl url;
    EXPECT_EQ(parse_port_url("tcp://" + c.host + ":4001", url), c.why) << c.host;
  }
}

TEST(PortUrl, WhatCountsAsANetworkPortName) {
  const struct {
    const char* name;
    bool url;
  } cases[] = {
      {"tcp://robot:1", true}, {"telnet://robot", true}, {"x+y.z-1://", true},  {"://robot:1", false},
      {"a b://robot", false},  {"COM7", false},          {"/dev/ttyS0", false}, {"tcp:/robot:1", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_port_url(c.name), c.url) << c.name;
}

}  // namespace
}  // namespace tavik
