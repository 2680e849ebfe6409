#include "output.h"

#include <atomic>

#include "serial/names/port_map.h"

namespace tavik::cli {
namespace {

constexpr auto kOutputBound = std::chrono::milliseconds(500);

std::atomic<bool> g_output_closed{false};

void flatten(const Json& value, const std::string& name, std::string& out) {
  if (value.is_object()) {
    for (const auto& [key, item] : value.items()) flatten(item, name.empty() ? key : name + "." + key, out);
    return;
  }
  out += name + ": ";
  if (value.is_array()) {
    for (std::size_t i = 0; i < value.size(); ++i)
      out += (i ? " " : "") + (value[i].is_string() ? value[i].get<std::string>() : value[i].dump());
  } else if (value.is_string()) {
    out += value.get<std::string>();
  } else if (value.is_boolean()) {
    out += value.get<bool>() ? "yes" : "no";
  } else {
    out += value.dump();
  }
  out += '\n';
}

}  // namespace

bool output_closed() { return g_output_closed.load(); }

bool watch_output_closed() {
  if (output_hung_up()) g_output_closed = true;
  return g_output_closed.load();
}

std::string as_text(const Json& record) {
  std::string out;
  flatten(record, "", out);
  return out;
}

Output::~Output() {
  if (dropped_ > 0 && !output_closed())
    err("tavik: " + std::to_string(dropped_) + " lines of output could not be written\n");
}

void Output::record(const Json& record) { raw(json_ ? record.dump() + "\n" : as_text(record)); }

void Output::line(const std::string& text) { raw(text + "\n"); }

void Output::raw(const std::string& text) {
  if (!failure_.empty() || (results_ == Stream::kOut && output_closed())) return;
  const WriteResult result = write_bounded(results_, text, kOutputBound);
  if (result.written == Written::kClosed && results_ == Stream::kOut) g_output_closed = true;
  if (result.written == Written::kFailed)
    failure_ = std::string("cannot write to ") +
               (results_ == Stream::kOut ? "standard output" : "standard error") + ": " + result.reason;
  else if (result.written != Written::kWhole)
    ++dropped_;
}

void Output::err(const std::string& text) { write_bounded(Stream::kErr, text, kOutputBound); }

void Output::error(const std::string& command, const CommandError& e) {
  if (!json_) {
    const bool usage = e.reason == reason::kUsage;
    err("tavik: " + (command.empty() ? "" : command + ": ") + e.message() + "\n" +
        (usage ? "Run 'tavik " + (command.empty() ? "" : command + " ") + "--help' for more information.\n"
               : ""));
    return;
  }
  Json error = Json::object();
  if (!command.empty()) error["command"] = command;
  if (e.board) error["board"] = board_name(*e.board);
  if (!e.port.empty()) error["port"] = e.port;
  if (const std::string target = e.port.empty() ? "" : port_target(e.port); !target.empty())
    error["target"] = target;
  error["reason"] = e.reason;
  error["message"] = e.message();
  if (!e.step.empty()) error["step"] = e.step;
  if (e.result.failure == Failure::kRefused)
    error["status"] = std::string(1, static_cast<char>(e.result.status));
  if (e.result.os_error != 0) error["os_error"] = e.result.os_error;
  error["exit_code"] = e.exit_code;
  err(Json{{"error", error}}.dump() + "\n");
}

}  // namespace tavik::cli
