// tavik ports [--no-probe]
//
// Lists the serial devices of this machine and, unless --no-probe, asks each
// free one with read-only requests which board answers there: power data
// for the power & sensor board, bumpers and emergency stop for the drive
// board. A port that another program holds is reported as busy and left
// alone. The devices are asked side by side, so the whole probe takes about
// two exchanges' time-outs.
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "commands.h"
#include "drvb/drvb_commands.h"
#include "port_check.h"
#include "psb/psb_commands.h"

namespace tavik::cli {
namespace {

namespace fs = std::filesystem;

struct Port {
  std::string name;    // as the tool and the libraries take it
  std::string device;  // the device it leads to
  std::string answer;  // "psb", "drvb", "busy", "no answer", ...
};

// Entries of dir whose names start with prefix, sorted, as (name, path).
std::vector<std::pair<std::string, std::string>> entries(const fs::path& dir, const std::string& prefix) {
  std::vector<std::pair<std::string, std::string>> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) found.emplace_back(name, entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<Port> list_ports() {
  std::vector<Port> ports;
  auto add = [&ports](const std::string& name, const std::string& path) {
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    ports.push_back({name, ec ? path : device.string(), ""});
  };
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
    for (const auto& [name, path] : entries("/dev", prefix)) add(path, path);
  }
  for (const auto& [name, path] : entries("/dev/serial/by-id", "")) add(path, path);
  // COM<n> names resolve through TAVIK_COM_DIR when it is set, else /dev/tavik.
  const char* com_dir = std::getenv("TAVIK_COM_DIR");
  for (const auto& [name, path] : entries(com_dir != nullptr && *com_dir ? com_dir : "/dev/tavik", ""))
    add(name, path);
  if (com_dir != nullptr && *com_dir) {
    for (const auto& [name, path] : entries("/dev/tavik", "")) add(path, path);
  }
  return ports;
}

// A ttyS device without a UART behind it (the kernel makes a few of them
// whether or not the hardware exists).
bool without_uart(const std::string& device) {
  if (device.rfind("/dev/ttyS", 0) != 0) return false;
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  serial_struct info{};
  const bool none = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
  ::close(fd);
  return none;
}

std::string probe(const std::string& device, int timeout_ms) {
  if (port_busy(device)) return "busy";
  if (without_uart(device)) return "no device";
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
  std::vector<Port> found = list_ports();
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
    list.push_back(entry);
    text += port.name + (port.name == port.device ? "" : " -> " + port.device) +
            (no_probe ? "" : ": " + port.answer) + "\n";
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
