// What the bridge's tests share: the simulated boards, a directory for a
// real mosquitto, the bridge's arguments and a joystick.
#pragma once

#include <signal.h>

#include <condition_variable>
#include <mutex>
#include <thread>

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

// A joystick: the same drive command every 100 ms, on a thread of its own,
// until it is destroyed.
class Joystick {
 public:
  Joystick(MqttClient& client, std::string topic, std::string payload)
      : client_(client), topic_(std::move(topic)), payload_(std::move(payload)), thread_([this] { run(); }) {}
  ~Joystick() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  Joystick(const Joystick&) = delete;
  Joystick& operator=(const Joystick&) = delete;

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      client_.publish(topic_, payload_);
      changed_.wait_for(lock, 100ms, [this] { return stop_; });
    }
  }
  MqttClient& client_;
  const std::string topic_, payload_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::thread thread_;
};

inline constexpr const char* kDrive200 = R"({"left_mm_s": 200, "right_mm_s": 200})";

}  // namespace tavik::test
