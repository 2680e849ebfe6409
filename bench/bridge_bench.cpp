// tavik bridge against the simulated boards at the line rate and a local
// mosquitto: the share of one core the bridge uses at 5 Hz telemetry, and
// the time from a cmd/drive publish to its velocity request arriving at the
// drive board (p50, p99); then, for each fault on the drive board's line, a
// drive streamed at 10 Hz: the longest time between two velocity requests on
// the line until the board's own watchdog tripped, and when it did.
//
//   bridge_bench [SECONDS [DRIVES [STREAM_SECONDS]]]
//   (default 30 s idle, 300 drive commands, 20 s of streaming per fault)
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "sim/simulator.h"
#include "tests/support/processes/paced_room.h"
#include "tests/support/processes/process_cpu.h"
#include "tests/support/records/velocity_record.h"
#include "tests/support/servers/mqtt_broker.h"

using namespace tavik;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const int drives = argc > 2 ? std::atoi(argv[2]) : 300;
  const int stream_seconds = argc > 3 ? std::atoi(argv[3]) : 20;
  test::PacedRoom room("tavik-bridge-bench");
  const std::string& dir = room.dir;
  sim::Simulator& sim = room.sim;
  test::MqttBroker broker(dir);
  test::MqttClient client(broker.port());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const pid_t bridge = test::spawn_program(
      TAVIK_TOOL_PATH,
      {"bridge", "--broker", broker.url(), "--name", "bench", "--allow-drive", "--dead-man", "1"}, actions);
  if (client.wait_for("tavik/bench/state", 5s).empty()) {
    std::fprintf(stderr, "bridge_bench: the bridge did not come online\n");
    test::kill_child(bridge);
    return 1;
  }
  std::this_thread::sleep_for(2s);  // past the start
  std::printf("bridge CPU at 5 Hz, boards at the line rate: %.2f %% of one core over %d s\n",
              test::cpu_percent_over(bridge, seconds), seconds);

  std::vector<double> ms;
  std::optional<test::VelocityRecord> wire(std::in_place, sim);
  for (int i = 0; i < drives; ++i) {
    const int v = 100 + i % 50;  // each command's request differs from the one before
    const std::string request = "BE" + std::to_string(v) + ";" + std::to_string(v);
    const auto sent = std::chrono::steady_clock::now();
    client.publish("tavik/bench/cmd/drive",
                   "{\"left_mm_s\": " + std::to_string(v) + ", \"right_mm_s\": " + std::to_string(v) + "}");
    if (const auto seen = wire->first(request, sent, 1000ms))
      ms.push_back(std::chrono::duration<double, std::milli>(*seen - sent).count());
    std::this_thread::sleep_for(50ms);
  }
  wire.reset();  // the simulator's record has one reader at a time
  std::printf("last diagnostics: %s\n",
              client.wait_for("tavik/bench/diagnostics", 2s, nullptr, client.count()).c_str());

  for (const char* fault :
       {"", "fault drvb * silence p=0.05", "fault drvb * silence p=0.2", "fault drvb * delay 250 p=0.2"}) {
    sim.execute("fault clear");
    sim.execute("reset drvb");
    sim.execute("pose 2500 2500 0");
    client.publish("tavik/bench/cmd/servo", "{\"on\": true}");  // the board's watchdog needs it on
    std::this_thread::sleep_for(500ms);                         // the bridge reads the cleared errors
    if (*fault != '\0') sim.execute(fault);
    test::VelocityRecord line(sim);
    const auto begin = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> tripped;
    while (std::chrono::steady_clock::now() - begin < std::chrono::seconds(stream_seconds)) {
      // Turning on the spot: no wall comes near to close a bumper.
      client.publish("tavik/bench/cmd/drive", "{\"left_mm_s\": -200, \"right_mm_s\": 200}");
      const sim::SimStatus s = sim.status();
      if (!tripped && ((s.drive_error_left | s.drive_error_right) & sim::kDriveErrCommTimeout) != 0)
        tripped = std::chrono::steady_clock::now();
      std::this_thread::sleep_for(100ms);
    }
    const auto until = tripped.value_or(std::chrono::steady_clock::now());
    double longest = 0;
    std::optional<std::chrono::steady_clock::time_point> last;
    for (const auto& v : line.velocities()) {
      if (v.seen > until) break;
      if (last)
        longest = std::max(longest, std::chrono::duration<double, std::milli>(v.seen - *last).count());
      last = v.seen;
    }
    std::printf("streamed drive, %s: longest gap %.0f ms, board's watchdog %s\n",
                *fault != '\0' ? fault : "no fault", longest,
                tripped ? ("tripped at " +
                           std::to_string(std::chrono::duration<double>(*tripped - begin).count()) + " s")
                              .c_str()
                        : "never tripped");
  }
  sim.execute("fault clear");
  ::kill(bridge, SIGTERM);
  ::waitpid(bridge, nullptr, 0);
  if (!test::print_latencies("cmd/drive publish to BE at the board", ms, drives)) {
    std::fprintf(stderr, "bridge_bench: no drive request arrived\n");
    return 1;
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
