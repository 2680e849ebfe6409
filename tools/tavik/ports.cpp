// tavik ports [--no-probe] [-v]
//
// Lists the serial devices of this machine and, unless --no-probe, asks each
// free one with read-only requests which board answers there: power data
// for the power & sensor board, bumpers and emergency stop for the drive
// board. A port that another program holds is reported as busy and left
// alone. The COM names mapped to network ports in the ports file are
// listed and asked too. With -v, a USB adapter's ids and the udev line that would give it
// its board's COM name. The devices are asked side by side, so the whole
// probe takes about two exchanges' time-outs.
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "commands.h"
#include "drvb/drvb_commands.h"
#include "psb/psb_commands.h"
#include "serial/names/port_map.h"
#include "serial/names/port_url.h"
#include "serial/ports/port_list.h"
#include "serial/ports/port_lock.h"
#include "udev_line.h"

namespace tavik::cli {
namespace {

struct Port {
  PortName port;
  std::string answer;  // "psb", "drvb", "busy", "no answer", ...
};

std::string probe(const std::string& device, int timeout_ms) {
  const bool network = is_port_url(device);
  if (!network && port_locked(device)) return failure_name(Failure::kPortBusy);
  if (const std::string why = network ? "" : not_probed(device); !why.empty()) return why;
  BoardConnection connection("probe");
  if (Result why; connection_open(connection, device.c_str(), timeout_ms, &why) != 0)
    return open_failure_text(device, why);
  std::string answer = "no answer";
  psb_power_data power{};
  int left = 0, right = 0, emergency = 0;
  const Result psb = psb::read_power(connection, &power);
  if (psb.is_ok())
    answer = "psb";
  else if (drvb::read_bumper_emg(connection, &left, &right, &emergency).is_ok())
    answer = "drvb";
  else if (psb.failure != Failure::kNoReply)
    answer = std::string("no board (") + failure_name(psb.failure) + ")";
  connection_close(connection);
  return answer;
}

// For -v: the adapter's ids and the udev lines that would give it the COM
// name of the board that answered on it, or of either board when none did.
Json usb_details(const UsbAdapter& usb, const std::string& answer) {
  Json details{{"vendor", usb.vendor}, {"product", usb.product}, {"serial", usb.serial}};
  Json lines = Json::object();
  for (Board board : {Board::kPsb, Board::kDrvb}) {
    if (answer != board_name(board) && (answer == "psb" || answer == "drvb")) continue;
    if (const std::string line = udev_line(usb, board); !line.empty()) lines[board_name(board)] = line;
  }
  if (!lines.empty()) details["udev"] = lines;
  return details;
}

std::string usb_text(const Json& details) {
  const std::string serial = details.at("serial");
  std::string text = "    usb " + details.at("vendor").get<std::string>() + ":" +
                     details.at("product").get<std::string>() +
                     (serial.empty() ? ", no serial number (udev cannot tell it from another adapter by it)"
                                     : ", serial " + serial) +
                     "\n";
  if (details.contains("udev")) {
    for (const auto& [board, line] : details.at("udev").items())
      text += "    udev line for the " + std::string(board == "psb" ? "power & sensor" : "drive") +
              " board: " + line.get<std::string>() + "\n";
  }
  return text;
}

int ports(Session& session, Output& out, bool no_probe, bool verbose) {
  std::vector<Port> found;
  for (const PortName& port : list_serial_ports()) found.push_back({port, ""});
  // The COM names the ports file maps to network ports, which the libraries
  // take before any device of that name.
  for (const PortMapping& mapping : read_port_map())
    found.push_back({PortName{mapping.name, mapping.target, {}}, ""});
  // One probe per device, however many names lead to it.
  std::map<std::string, std::string> answers;
  for (const Port& port : found) answers[port.port.device] = no_probe ? "" : "?";
  if (!no_probe) {
    std::vector<std::thread> probes;
    for (auto& [device, answer] : answers) {
      probes.emplace_back([&device = device, &answer = answer, timeout = session.options().timeout_ms] {
        answer = probe(device, timeout);
      });
    }
    for (std::thread& t : probes) t.join();
  }
  Json list = Json::array();
  std::string text;
  std::set<std::string> detailed;  // each adapter's details once, under its first name
  for (Port& port : found) {
    const PortName& p = port.port;
    port.answer = answers[p.device];
    Json entry{{"name", p.name}, {"device", p.device}};
    if (!no_probe) entry["answer"] = port.answer;
    const std::string holder = port.answer == failure_name(Failure::kPortBusy) ? port_holder(p.device) : "";
    if (!holder.empty()) entry["held_by"] = holder;
    text += p.name + (p.name == p.device ? "" : " -> " + p.device) + (no_probe ? "" : ": " + port.answer) +
            (holder.empty() ? "" : " (held by " + holder + ")") + "\n";
    if (verbose && p.usb && detailed.insert(p.device).second) {
      entry["usb"] = usb_details(*p.usb, port.answer);
      text += usb_text(entry["usb"]);
    }
    list.push_back(entry);
  }
  if (verbose && !detailed.empty())
    text +=
        "A udev line goes in place of its board's line in /etc/udev/rules.d/99-tavik-com.rules (a copy of\n"
        "the installed rule, which that file overrides); then: udevadm control --reload && udevadm trigger\n";
  if (out.json())
    out.record(Json{{"ports", list}});
  else
    out.raw(found.empty() ? "no serial ports found\n" : text);
  return kExitOk;
}

}  // namespace

void add_ports_command(CLI::App& app, Runner& run) {
  auto no_probe = std::make_shared<bool>(false);
  auto verbose = std::make_shared<bool>(false);
  CLI::App* command = app.add_subcommand("ports", "List the serial ports and which board answers on each");
  command->add_flag("--no-probe", *no_probe, "only list the ports, send nothing");
  command->add_flag("-v,--verbose", *verbose,
                    "for USB adapters also the vendor and product ids, the serial number and the udev "
                    "rule's line that would publish the adapter as its board's COM name (Linux)");
  command->callback([&run, no_probe, verbose] {
    run = [no_probe, verbose](Session& session, Output& out) {
      return ports(session, out, *no_probe, *verbose);
    };
  });
}

}  // namespace tavik::cli
