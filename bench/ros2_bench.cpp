// tavik-ros2 against the simulated boards at the line rate: the share of one
// core the node uses at 20 Hz odometry (and the power & sensor board at
// 5 Hz), and the time from a cmd_vel written by another DDS participant
// (Cyclone's C API on the node's generated types) to its velocity request
// arriving at the drive board (p50, p99). Run in a network namespace whose
// loopback carries multicast, so that DDS's discovery stays on this machine:
//
//   tests/ros2/in_network_namespace.sh build/default/bench/ros2_bench [SECONDS [COMMANDS]]
//   (default 30 s idle, 300 cmd_vel)
#include <dds/dds.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "geometry_msgs.h"
#include "sim/simulator.h"
#include "tests/support/processes/child_program.h"
#include "tests/support/processes/paced_room.h"
#include "tests/support/processes/process_cpu.h"
#include "tests/support/records/velocity_record.h"

using namespace tavik;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const int commands = argc > 2 ? std::atoi(argv[2]) : 300;
  test::PacedRoom room("tavik-ros2-bench");
  const std::string& dir = room.dir;
  sim::Simulator& sim = room.sim;
  sim.execute("pose 2500 2500 0");

  const dds_entity_t participant = dds_create_participant(DDS_DOMAIN_DEFAULT, nullptr, nullptr);
  const dds_entity_t topic =
      dds_create_topic(participant, &geometry_msgs_msg_dds__Twist__desc, "rt/cmd_vel", nullptr, nullptr);
  dds_qos_t* qos = dds_create_qos();
  dds_qset_reliability(qos, DDS_RELIABILITY_RELIABLE, DDS_SECS(1));
  const dds_entity_t writer = dds_create_writer(participant, topic, qos, nullptr);
  dds_delete_qos(qos);
  if (writer < 0) {
    std::fprintf(stderr, "ros2_bench: DDS did not start: %s\n", dds_strretcode(writer));
    return 1;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const pid_t node = test::spawn_program(
      TAVIK_ROS2_PATH, {"--allow-drive", "--wheel-separation-mm", "340", "--cmd-vel-timeout", "1"}, actions);
  // Until the node's reader matched and it is ready to drive (servo on, Max Velocity read).
  dds_publication_matched_status_t matched{};
  for (int i = 0; i < 100 && matched.current_count == 0; ++i) {
    std::this_thread::sleep_for(50ms);
    dds_get_publication_matched_status(writer, &matched);
  }
  if (matched.current_count == 0) {
    std::fprintf(stderr, "ros2_bench: the node's cmd_vel reader did not appear\n");
    test::kill_child(node);
    return 1;
  }
  std::this_thread::sleep_for(2s);  // past the start
  std::printf("node CPU at 20 Hz odometry, boards at the line rate: %.2f %% of one core over %d s\n",
              test::cpu_percent_over(node, seconds), seconds);

  std::vector<double> ms;
  {
    test::VelocityRecord wire(sim);
    for (int i = 0; i < commands; ++i) {
      // Each command's request differs from the one before; turning on the
      // spot keeps the robot off the walls.
      const int v = 100 + i % 50;
      const std::string request = "BE" + std::to_string(-v) + ";" + std::to_string(v);
      geometry_msgs_msg_dds__Twist_ twist{};
      twist.angular.z = v / 170.0;  // v mm/s at each wheel, 340 mm apart
      const auto sent = std::chrono::steady_clock::now();
      dds_write(writer, &twist);
      if (const auto seen = wire.first(request, sent, 1000ms))
        ms.push_back(std::chrono::duration<double, std::milli>(*seen - sent).count());
      std::this_thread::sleep_for(50ms);
    }
  }
  ::kill(node, SIGTERM);
  ::waitpid(node, nullptr, 0);
  dds_delete(participant);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  if (!test::print_latencies("cmd_vel write to BE at the board", ms, commands)) {
    std::fprintf(stderr, "ros2_bench: no velocity request arrived\n");
    return 1;
  }
  return 0;
}
