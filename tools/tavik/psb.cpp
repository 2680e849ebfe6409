// tavik psb status | power DEVICE on|off | max-dist CM
#include <map>
#include <memory>

#include "board_readings.h"
#include "commands.h"
#include "number_check.h"
#include "psb/psb_commands.h"

namespace tavik::cli {

void add_psb_commands(CLI::App& app, Runner& run) {
  CLI::App* psb = app.add_subcommand("psb", "The power & sensor board")->require_subcommand(0, 1);

  psb->add_subcommand("status", "Power data (battery, current, devices) and the ultrasonic ranges")
      ->callback([&run] {
        run = [](Session& session, Output& out) { return print_status(session, out, Board::kPsb); };
      });

  struct PowerArgs {
    std::string device, state;
  };
  auto args = std::make_shared<PowerArgs>();
  CLI::App* power = psb->add_subcommand("power", "Switch a device on or off");
  std::map<std::string, unsigned> devices;
  for (unsigned i = 0; i < std::size(kPsbDevices); ++i) devices[kPsbDevices[i]] = i;
  power->add_option("DEVICE", args->device, "drive, sensors, lrf, sbc, sg, lcd or servo")
      ->required()
      ->check(CLI::IsMember(devices));
  power->add_option("STATE", args->state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
  power->callback([&run, devices, args] {
    run = [devices, args](Session& session, Output& out) {
      const std::string& device = args->device;
      const std::string& state = args->state;
      BoardConnection& connection = session.open(Board::kPsb);
      session.check(psb::set_power_control(connection, devices.at(device), state == "on" ? 1 : 0),
                    "switch " + device + " " + state, Board::kPsb);
      Json record = board_header(session, Board::kPsb);
      record["device"] = device;
      record["power"] = state;
      out.record(record);
      return kExitOk;
    };
  });

  auto distance_cm = std::make_shared<int>(0);
  std::vector<int> distances;
  for (int c = 0; c < psb::kMaxDistCodes; ++c) distances.push_back(psb::max_dist_cm(c));
  CLI::App* max_dist = psb->add_subcommand("max-dist", "Set the ultrasonic maximum distance");
  max_dist->callback([&run, distance_cm] {
    run = [distance_cm](Session& session, Output& out) {
      BoardConnection& connection = session.open(Board::kPsb);
      int code = 0;
      while (code < psb::kMaxDistCodes - 1 && psb::max_dist_cm(code) != *distance_cm) ++code;
      session.check(psb::set_usonic_max_dist(connection, code - 1), "set maximum distance", Board::kPsb);
      Json record = board_header(session, Board::kPsb);
      record["max_distance_cm"] = *distance_cm;
      out.record(record);
      return kExitOk;
    };
  });
  add_number(*max_dist, "CM", *distance_cm, "100 to 550 in steps of 50")
      ->required()
      ->check(CLI::IsMember(distances));
}

}  // namespace tavik::cli
