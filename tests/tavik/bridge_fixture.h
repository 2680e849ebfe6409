// What the bridge's tests share: the simulated boards, a directory for a
// real mosquitto, and the bridge's arguments.
#pragma once

#include <signal.h>

#include "tavik_fixture.h"
#include "tests/support/records/velocity_record.h"
#include "tests/support/servers/mqtt_broker.h"

namespace tavik::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline bool has(const std::string& payload, const char* text) {
  return payload.find(text) != std::string::npos;
}

class Bridge : public TavikTool {
 protected:
  Bridge() : broker_dir_(make_com_dir()) {}
  ~Bridge() override {
    std::error_code ignored;
    std::filesystem::remove_all(broker_dir_, ignored);
  }
  std::vector<std::string> bridge_args(const MqttBroker& broker, const std::string& name,
                                       std::vector<std::string> more = {}) {
    std::vector<std::string> args{"bridge", "--broker", broker.url(), "--name", name};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  std::string broker_dir_;
};

}  // namespace tavik::test
