#include "output.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace tavik::cli {
namespace {

constexpr auto kOutputBound = std::chrono::milliseconds(500);
constexpr std::size_t kChunk = 256;

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

Written write_bounded(int fd, const std::string& text, std::chrono::milliseconds bound) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + bound;
  std::size_t sent = 0;
  while (sent < text.size()) {
    // Room is looked for before each write: a pipe or terminal that polls
    // writable takes a chunk this small without blocking.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(std::max<long>(left.count(), 0)));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return Written::kTimedOut;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return Written::kClosed;
    const ssize_t n = ::write(fd, text.data() + sent, std::min<std::size_t>(text.size() - sent, kChunk));
    if (n > 0)
      sent += static_cast<std::size_t>(n);
    else if (n < 0 && (errno == EPIPE || errno == EIO || errno == EBADF))
      return Written::kClosed;
    else if (n < 0 && errno != EINTR && errno != EAGAIN)
      return Written::kTimedOut;
  }
  return Written::kWhole;
}

bool output_closed() { return g_output_closed.load(); }

bool watch_output_closed() {
  // No events asked for: only the reader's end (POLLERR on a pipe, POLLHUP
  // on a terminal) is reported, never room to write.
  pollfd p{STDOUT_FILENO, 0, 0};
  if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP)) != 0) g_output_closed = true;
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
  if (output_closed()) return;
  const Written written = write_bounded(STDOUT_FILENO, text, kOutputBound);
  if (written == Written::kClosed) g_output_closed = true;
  if (written != Written::kWhole) ++dropped_;
}

void Output::err(const std::string& text) { write_bounded(STDERR_FILENO, text, kOutputBound); }

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
  error["reason"] = e.reason;
  error["message"] = e.message();
  if (!e.step.empty()) error["step"] = e.step;
  if (e.result.failure == Failure::kRefused)
    error["status"] = std::string(1, static_cast<char>(e.result.status));
  error["exit_code"] = e.exit_code;
  err(Json{{"error", error}}.dump() + "\n");
}

}  // namespace tavik::cli
