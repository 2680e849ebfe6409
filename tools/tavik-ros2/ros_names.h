// Names on a ROS 2 graph: a topic's DDS name ("rt/" and the topic under
// the namespace: "rt/robot1/odom") and a frame's id, prefixed with the
// namespace ("robot1/base_link").
#pragma once

#include <string>
#include <string_view>

namespace tavik::cli {

class RosNames {
 public:
  // ns as --namespace gives it: "", "robot1", "/fleet/robot1/"; throws a
  // usage error for a name ROS 2 would not take.
  explicit RosNames(std::string_view ns);

  // "/robot1", or "/" without a namespace.
  std::string node_namespace() const { return ns_.empty() ? "/" : "/" + ns_; }
  std::string topic(std::string_view name) const;
  std::string frame(std::string_view name) const;

 private:
  std::string ns_;  // without leading or trailing '/'
};

}  // namespace tavik::cli
