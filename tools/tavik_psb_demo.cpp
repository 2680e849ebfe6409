// Connects to a power & sensor board through lib_velk_rs232_psb, reads the
// power data and the ultrasonic ranges once and prints them.
//
//   tavik-psb-demo PORT        PORT as the library takes it: COM7, /dev/ttyUSB0, ...
//   tavik-psb-demo --simulate  against a scripted board on a pseudo-terminal
//                              (where there are pseudo-terminals)
#include <cstdio>
#include <memory>
#include <string>

#include "tavik/velk_rs232_psb.h"
#ifdef _WIN32
#include "packaging/windows/running_mutex.h"
#endif

#ifdef TAVIK_DEMO_SIMULATE
#include "sim/frame_builder.h"
#include "sim/scripted_peer.h"

namespace {

std::unique_ptr<tavik::sim::ScriptedPeer> start_scripted_board() {
  using tavik::sim::Bytes;
  auto peer = std::make_unique<tavik::sim::ScriptedPeer>();
  peer->respond([](const Bytes& request) -> tavik::sim::ScriptedReply {
    std::string command(request.begin() + 1, request.end() - 2);
    if (command == "PDR") return {tavik::sim::frame("12;0;0;5;0;0;9;2;4"), {}};
    if (command == "Sar") {
      Bytes data(40, 0);
      const int ranges[7] = {150, 1200, 830, 400, 2500, 90, 610};
      for (int i = 0; i < 7; ++i) {
        data[2 * i] = static_cast<std::uint8_t>(ranges[i] >> 8);
        data[2 * i + 1] = static_cast<std::uint8_t>(ranges[i] & 0xFF);
      }
      return {tavik::sim::counted_frame(data), {}};
    }
    return {};
  });
  return peer;
}

}  // namespace
#endif

namespace {

void usage(std::FILE* to, const char* program) {
  std::fprintf(to, "usage: %s PORT\n", program);
#ifdef TAVIK_DEMO_SIMULATE
  std::fprintf(to, "       %s --simulate\n", program);
#endif
  std::fprintf(to,
               "Reads the power data and the ultrasonic ranges of the power & sensor board on PORT\n"
               "(COM7, /dev/ttyUSB0, ttyUSB0, ...) once. man tavik-psb-demo explains the port names.\n");
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  tavik::hold_running_mutex();
#endif
  const std::string first = argc == 2 ? argv[1] : "";
  if (first == "--help" || first == "-h") {
    usage(stdout, argv[0]);
    return 0;
  }
  // Any other option is a mistake, not a port name.
#ifdef TAVIK_DEMO_SIMULATE
  const bool simulate = first == "--simulate";
#else
  const bool simulate = false;
#endif
  if (argc != 2 || first.empty() || (first[0] == '-' && !simulate)) {
    usage(stderr, argv[0]);
    return 2;
  }
  std::string port = first;
#ifdef TAVIK_DEMO_SIMULATE
  std::unique_ptr<tavik::sim::ScriptedPeer> peer;
  if (simulate) {
    peer = start_scripted_board();
    port = peer->path();
    std::printf("scripted board on %s\n", port.c_str());
  }
#endif
  if (velk_rs232_psb_create(port.c_str(), 200) != 0) {
    std::fprintf(stderr, "%s: cannot open %s: %s\n", argv[0], argv[1],
                 velk_rs232_psb_error_text(velk_rs232_psb_last_error()));
    return 1;
  }
  psb_power_data power;
  int status = 0;
  if (velk_rs232_psb_read_power(&power) == 0) {
    std::printf("battery %d  current %d\n", power.battery_volt, power.consum_cur);
    std::printf("drive %d  sensors %d  lrf %d  sbc %d  sg %d  lcd %d  servo %d\n", power.drive_state,
                power.sensors_state, power.lrf_state, power.sbc_state, power.sg_state, power.lcd_state,
                power.servo_state);
  } else {
    std::fprintf(stderr, "power data: no valid reply\n");
    status = 1;
  }
  psb_sensor_data sensor{};
  if (velk_rs232_psb_read_sensor(&sensor) == 0) {
    for (int i = 0; i < 7; ++i)
      std::printf("ultrasonic %d: %f\n", i + 1, static_cast<double>(sensor.ranges[i]));
  } else {
    std::fprintf(stderr, "ultrasonic ranges: no valid reply\n");
    status = 1;
  }
  velk_rs232_psb_destroy();
  return status;
}
