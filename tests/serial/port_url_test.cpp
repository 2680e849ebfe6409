// Network port names: the hosts taken and those refused with why.
#include "serial/names/port_url.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tavik
