#include "output.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tavik::cli {
namespace {

constexpr auto kOutputBound = std::chrono::milliseconds(500);
constexpr std::size_t kChunk = 256;

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

bool write_bounded(int fd, const std::string& text, std::chrono::milliseconds bound) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + bound;
  std::size_t sent = 0;
  while (sent < text.size()) {
    // Room is looked for before each write: a pipe or terminal that polls
    // writable takes a chunk this small without blocking.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0) return false;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return false;
    const ssize_t n = ::write(fd, text.data() + sent, std::min<std::size_t>(text.size() - sent, kChunk));
    if (n > 0)
      sent += static_cast<std::size_t>(n);
    else if (n < 0 && errno != EINTR && errno != EAGAIN)
      return false;
  }
  return true;
}

std::string as_text(const Json& record) {
  std::string out;
  flatten(record, "", out);
  return out;
}

Output::~Output() {
  if (dropped_ > 0) err("tavik: " + std::to_string(dropped_) + " lines of output could not be written\n");
}

void Output::record(const Json& record) { raw(json_ ? record.dump() + "\n" : as_text(record)); }

void Output::line(const std::string& text) { raw(text + "\n"); }

void Output::raw(const std::string& text) {
  if (!write_bounded(STDOUT_FILENO, text, kOutputBound)) ++dropped_;
}

void Output::err(const std::string& text) { write_bounded(STDERR_FILENO, text, kOutputBound); }

void Output::error(const std::string& command, const CommandError& e) {
  if (json_) {
    Json error{{"command", command}, {"step", e.step},     {"board", board_name(e.board)},
               {"port", e.port},     {"reason", e.reason}, {"exit_code", e.exit_code}};
    if (e.result.failure != Failure::kNone) error["failure"] = failure_name(e.result.failure);
    if (e.result.failure == Failure::kRefused)
      error["status"] = std::string(1, static_cast<char>(e.result.status));
    err(Json{{"error", error}}.dump() + "\n");
  } else {
    err("tavik: " + command + ": " + e.step + " on the " + board_label(e.board) + " at " + e.port +
        " failed: " + e.reason + "\n");
  }
}

void Output::usage_error(const std::string& message) {
  if (json_) {
    err(Json{{"error",
              {{"reason", "usage"}, {"message", message}, {"exit_code", static_cast<int>(kExitUsage)}}}}
            .dump() +
        "\n");
  } else {
    err("tavik: " + message + "\nRun with --help for more information.\n");
  }
}

}  // namespace tavik::cli
