// The ROS 2 peer (ros2_peer.mjs under Node.js: @foxglove/ros2) as a child
// process: the lines it prints (decoded messages, discovery), each kept, and
// the twists it is told to send on cmd_vel.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/processes/child_program.h"

namespace tavik::test {

using Json = nlohmann::json;

class Ros2Peer {
 public:
  using Clock = std::chrono::steady_clock;
  // topics: "/odom=nav_msgs/msg/Odometry", "/range/front=sensor_msgs/msg/Range@volatile".
  Ros2Peer(int domain, const std::vector<std::string>& topics, const std::string& cmd_vel = "/cmd_vel")
      : program_(TAVIK_NODE, arguments(domain, topics, cmd_vel)) {}
  Ros2Peer(const Ros2Peer&) = delete;
  Ros2Peer& operator=(const Ros2Peer&) = delete;

  // The first line that satisfies `match` after the one a search by the
  // same key found last, reading for at most `limit`; none when none came.
  std::optional<Json> next(const std::string& key, const std::function<bool(const Json&)>& match,
                           std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = Clock::now() + limit;
    std::size_t& cursor = cursors_[key];
    for (;;) {
      for (; cursor < lines_.size(); ++cursor) {
        if (match(lines_[cursor])) return lines_[cursor++];
      }
      if (!read_until(deadline)) return std::nullopt;
    }
  }
  // The next message on topic (its "msg"), received after `after` (s since the epoch).
  std::optional<Json> next_on(const std::string& topic,
                              std::chrono::milliseconds limit = std::chrono::seconds(10), double after = 0) {
    const auto line = next(
        topic,
        [&](const Json& l) {
          return l.value("topic", "") == topic && l.contains("msg") && l["t"].get<double>() > after;
        },
        limit);
    return line ? std::optional<Json>((*line)["msg"]) : std::nullopt;
  }
  // The discovery of an endpoint of a tavik-ros2 node: "publication" or
  // "subscription" on the DDS topic ("rt/odom").
  std::optional<Json> endpoint(const std::string& event, const std::string& dds_topic,
                               std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return next(
        event + " " + dds_topic,
        [&](const Json& l) { return l.value("event", "") == event && l.value("topic", "") == dds_topic; },
        limit);
  }
  // Now, on the peer's clock (the system's).
  static double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  }
  // Every line read so far.
  const std::vector<Json>& lines() const { return lines_; }
  // The peer's clock (s since the epoch) when it had subscribed.
  std::optional<double> ready_at(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto line = next(
        "ready", [](const Json& l) { return l.value("event", "") == "ready"; }, limit);
    return line ? std::optional<double>((*line)["t"].get<double>()) : std::nullopt;
  }

  // Sends the twist now, then `rate` times a second (0: once).
  void send_twist(double vx, double wz, double rate = 0) { tell(Json{{"twist", {vx, wz}}, {"rate", rate}}); }
  void stop_sending() { tell(Json{{"stop_sending", true}}); }

 private:
  static std::vector<std::string> arguments(int domain, const std::vector<std::string>& topics,
                                            const std::string& cmd_vel) {
    std::vector<std::string> args{TAVIK_ROS2_PEER, "--domain", std::to_string(domain), "--cmd-vel", cmd_vel};
    args.insert(args.end(), topics.begin(), topics.end());
    return args;
  }
  void tell(const Json& command) { program_.send(command.dump() + "\n"); }
  // Reads what came next into lines_; false when nothing came by deadline
  // or the peer ended.
  bool read_until(Clock::time_point deadline) {
    if (ended_) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{program_.output(), POLLIN, 0};
    if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char buf[65536];
    const ssize_t n = ::read(program_.output(), buf, sizeof buf);
    if (n <= 0) {
      ended_ = true;
      return false;
    }
    partial_.append(buf, static_cast<std::size_t>(n));
    for (std::size_t nl; (nl = partial_.find('\n')) != std::string::npos; partial_.erase(0, nl + 1)) {
      Json line = Json::parse(partial_.substr(0, nl), nullptr, false);
      if (!line.is_discarded()) lines_.push_back(std::move(line));
    }
    return true;
  }

  ChildProgram program_;
  bool ended_ = false;
  std::string partial_;
  std::vector<Json> lines_;
  std::map<std::string, std::size_t> cursors_;
};

}  // namespace tavik::test
