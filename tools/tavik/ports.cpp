// tavik ports [--no-probe]
//
// Lists the serial devices of this machine and, unless --no-probe, asks each
// free one with read-only requests which board answers there: power data
// for the power & sensor board, bumpers and emergency stop for the drive
// board. A port that another program holds is reported as busy and left
// alone. The devices are asked side by side, so the whole probe takes about
// two exchanges' time-outs.
#include <map>
#include <memory>
#include <thread>

#include "commands.h"
#include "drvb/drvb_commands.h"
#include "platform.h"
#include "psb/psb_commands.h"

namespace tavik::cli {
namespace {

struct Port {
  std::string name;    // as the tool and the libraries take it
  std::string device;  // the device it leads to
  std::string answer;  // "psb", "drvb", "busy", "no answer", ...
};

std::string probe(const std::string& device, int timeout_ms) {
  if (port_busy(device)) return "busy";
  if (const char* why = not_probed(device)) return why;
  BoardConnection connection("probe");
  if (connection_open(connection, device.c_str(), timeout_ms) != 0) return open_failure(device).text;
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

int ports(Session& session, Output& out, bool no_probe) {
  std::vector<Port> found;
  for (const PortName& port : list_serial_ports()) found.push_back({port.name, port.device, ""});
  // One probe per device, however many names lead to it.
  std::map<std::string, std::string> answers;
  for (const Port& port : found) answers[port.device] = no_probe ? "" : "?";
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
  for (Port& port : found) {
    port.answer = answers[port.device];
    Json entry{{"name", port.name}, {"device", port.device}};
    if (!no_probe) entry["answer"] = port.answer;
    const std::string holder = port.answer == "busy" ? port_holder(port.device) : "";
    if (!holder.empty()) entry["held_by"] = holder;
    list.push_back(entry);
    text += port.name + (port.name == port.device ? "" : " -> " + port.device) +
            (no_probe ? "" : ": " + port.answer) + (holder.empty() ? "" : " (held by " + holder + ")") + "\n";
  }
  if (out.json())
    out.record(Json{{"ports", list}});
  else
    out.raw(found.empty() ? "no serial ports found\n" : text);
  return kExitOk;
}

}  // namespace

void add_ports_command(CLI::App& app, Runner& run) {
  auto no_probe = std::make_shared<bool>(false);
  CLI::App* command = app.add_subcommand("ports", "List the serial ports and which board answers on each");
  command->add_flag("--no-probe", *no_probe, "only list the ports, send nothing");
  command->callback([&run, no_probe] {
    run = [no_probe](Session& session, Output& out) { return ports(session, out, *no_probe); };
  });
}

}  // namespace tavik::cli
