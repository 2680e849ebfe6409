// What the tests of tavik-ros2 share: the simulated boards (the test's own,
// so that it reads the robot's true pose and readings), tavik-ros2 run on
// them with its output in a file, and the ROS 2 peer. Each test runs in a
// network namespace of its own (in_network_namespace.sh), where there is
// none it is skipped.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "drvb/drvb_commands.h"
#include "psb/psb_commands.h"
#include "ros2_peer.h"
#include "sim/models/world.h"
#include "tavik/tavik_fixture.h"

namespace tavik::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// tavik-ros2 as a child process, its standard output and error in a file.
class Ros2Node {
 public:
  Ros2Node(const std::vector<std::string>& args, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_ = spawn_program(TAVIK_ROS2_PATH, args, actions);
  }
  ~Ros2Node() { kill_child(pid_); }
  Ros2Node(const Ros2Node&) = delete;
  Ros2Node& operator=(const Ros2Node&) = delete;

  void signal(int sig) { ::kill(pid_, sig); }
  // The exit code once it ended, within limit; -1 when it has not.
  int finish(std::chrono::milliseconds limit) {
    const int fd = static_cast<int>(
        ::syscall(SYS_pidfd_open, pid_, 0));  // glibc 2.36 declares pidfd_open without C linkage
    if (fd < 0) return -1;
    pollfd p{fd, POLLIN, 0};
    const bool ended = ::poll(&p, 1, static_cast<int>(limit.count())) == 1;
    ::close(fd);
    int status = 0;
    if (!ended || ::waitpid(pid_, &status, 0) != pid_) return -1;
    pid_ = -1;
    return exit_code(status);
  }

 private:
  pid_t pid_ = -1;
};

// The heading a quaternion about z gives (rad).
inline double yaw(const Json& orientation) {
  return 2 * std::atan2(orientation["z"].get<double>(), orientation["w"].get<double>());
}
// A header's stamp in seconds (the peer reads builtin_interfaces/Time as sec, nsec).
inline double stamp(const Json& header) {
  return header["stamp"]["sec"].get<double>() + header["stamp"]["nsec"].get<double>() / 1e9;
}

class Ros2 : public TavikTool {
 protected:
  static constexpr int kDomain = 7;
  // Every topic with its type, as a ROS 2 peer names them.
  struct Topic {
    std::string name;
    std::string type;
  };
  static std::vector<Topic> all_topics() {
    std::vector<Topic> topics{{"/odom", "nav_msgs/msg/Odometry"},
                              {"/tf", "tf2_msgs/msg/TFMessage"},
                              {"/battery_state", "sensor_msgs/msg/BatteryState"},
                              {"/joint_states", "sensor_msgs/msg/JointState"},
                              {"/diagnostics", "diagnostic_msgs/msg/DiagnosticArray"}};
    for (const auto& r : psb::kRangeSensors)
      topics.push_back({std::string("/range/") + r.name, "sensor_msgs/msg/Range"});
    return topics;
  }
  // The peer's argument for a topic: "/odom=nav_msgs/msg/Odometry".
  static std::string subscribe(const Topic& t, const std::string& ns = "") {
    return ns + t.name + "=" + t.type;
  }

  void SetUp() override {
    if (const char* why = std::getenv("TAVIK_NO_NETWORK_NAMESPACE")) GTEST_SKIP() << why;
    ::signal(SIGPIPE, SIG_IGN);  // a twist to a peer that ended fails, and the test says so
  }

  // The drive board's servo and the power board's sensors on, as an
  // operator would have them before the node starts.
  void power_up() {
    BoardConnection drvb("drvb"), psb("psb");
    ASSERT_EQ(connection_open(drvb, sim_.drvb_path().c_str(), 1000), 0);
    ASSERT_EQ(drvb::set_servo(drvb, 1).failure, Failure::kNone);
    connection_close(drvb);
    ASSERT_EQ(connection_open(psb, sim_.psb_path().c_str(), 1000), 0);
    ASSERT_EQ(psb::set_power_control(psb, 1, 1).failure, Failure::kNone);  // the sensors (facts/psb_facts.h)
    connection_close(psb);
  }

  // tavik-ros2 on the simulated boards (found under their default names
  // through TAVIK_COM_DIR), on the test's domain.
  std::unique_ptr<Ros2Node> start_node(std::vector<std::string> more = {}) {
    std::vector<std::string> args{"--domain-id", std::to_string(kDomain), "--wheel-separation-mm",
                                  std::to_string(sim::kWheelBaseMm)};
    args.insert(args.end(), more.begin(), more.end());
    return std::make_unique<Ros2Node>(args, log_path());
  }
  // What tavik-ros2 wrote, for a failure's message.
  std::string node_log() const {
    std::ifstream in(log_path());
    std::stringstream text;
    text << in.rdbuf();
    return "tavik-ros2 said:\n" + text.str();
  }

 private:
  std::string log_path() const { return com_dir_ + "/tavik-ros2.log"; }
};

}  // namespace tavik::test
