// tavik bridge --broker mqtt://HOST[:PORT] --name NAME [--allow-drive] ...
//
// Puts one robot on an MQTT broker: publishes its readings under
// PREFIX/NAME/ (those of tavik watch, at --rate), its link diagnostics once
// a second and its state (retained; the broker's last will says offline),
// and carries out the commands of PREFIX/NAME/cmd/..., each answered on
// cmd/result. A drive holds for the dead-man time after its last message;
// the broker lost, the drive board lost or the bridge ending stop it at
// once. Runs until a stop request; the broker refusing the connection ends
// it (exit 1).
#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>

#include "board_diagnostics.h"
#include "bridge_drive.h"
#include "bridge_messages.h"
#include "bridge_mqtt.h"
#include "commands.h"
#include "drive_loop.h"
#include "drvb/drvb_commands.h"
#include "link_figures.h"
#include "number_check.h"
#include "process.h"
#include "psb/psb_commands.h"
#include "regular_file.h"
#include "tavik_version.h"
#include "telemetry.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kDiagnosticsPeriod = std::chrono::seconds(1);
// A board whose port did not open is tried again this often.
constexpr auto kOpenRetry = std::chrono::seconds(2);
// How long the clean exit waits for the broker to take the offline state.
constexpr auto kOfflineBound = std::chrono::milliseconds(1000);
// How long a servo-off or drive power-off waits for the stop to be answered first.
constexpr auto kStopFirstBound = std::chrono::milliseconds(300);
constexpr std::size_t kMostQueued = 16;
// The largest command payload read; a larger one is answered unread.
constexpr std::size_t kLongestPayload = 64 * 1024;
// The longest --name and --topic-prefix, in bytes: the topics and the
// client id stay far within what brokers take.
constexpr std::size_t kLongestName = 64;
constexpr std::size_t kLongestPrefix = 256;

struct BridgeArgs {
  std::string broker;
  std::string name;
  bool allow_drive = false;
  bool send_stop = false;
  double rate_hz = 5;
  double dead_man_s = 0.5;
  std::string username;
  std::string password_file;
  std::string ca_file, cert_file, key_file;
  std::string prefix = "tavik";
};

std::string utc_now() { return recording::utc_text(std::chrono::system_clock::now()); }

// mqtt://HOST[:PORT] or mqtts://HOST[:PORT] (an IPv6 address in brackets).
BrokerSettings broker_of(const std::string& url) {
  BrokerSettings broker;
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    rest = url.substr(7);
  } else if (url.rfind("mqtts://", 0) == 0) {
    rest = url.substr(8);
    broker.tls = true;
    broker.port = 8883;
  } else {
    throw CommandError::usage("--broker: '" + url + "' is not mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
  }
  std::string port;
  if (rest.rfind('[', 0) == 0) {
    const auto close = rest.find(']');
    if (close == std::string::npos)
      throw CommandError::usage("--broker: '" + url + "' lacks the closing ']'");
    broker.host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':')
        throw CommandError::usage("--broker: '" + url + "': ':PORT' expected after ']'");
      port = rest.substr(close + 2);
    }
  } else if (const auto colon = rest.find(':'); colon != std::string::npos) {
    broker.host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
  } else {
    broker.host = rest;
  }
  if (broker.host.empty() || broker.host.find('/') != std::string::npos)
    throw CommandError::usage("--broker: '" + url + "' names no host");
  if (!port.empty() || (rest.find(':') != std::string::npos && rest.rfind('[', 0) != 0)) {
    const std::optional<double> number = read_decimal(port, true);
    if (!number || *number < 1 || *number > 65535)
      throw CommandError::usage("--broker: port '" + port + "' is not in the range 1 to 65535");
    broker.port = static_cast<int>(*number);
  }
  return broker;
}

// The largest password file taken.
constexpr std::size_t kMostPasswordFileBytes = 64 * 1024;

// The first line of the password file: a regular file that only its owner
// may read.
std::string read_password(const std::string& file) {
  const RegularFile read = read_regular_file(file, kMostPasswordFileBytes);
  if (!read.error.empty())
    throw CommandError::usage("--password-file " + file + ": cannot read it: " + read.error);
  if (read.shared) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", read.mode);
    throw CommandError::usage("--password-file " + file + ": group or others may read or change it (mode " +
                              mode + "): chmod 600 " + file);
  }
  if (read.text.empty())
    throw CommandError::usage("--password-file " + file + ": cannot read it: it is empty");
  std::string password = read.text.substr(0, read.text.find('\n'));
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return password;
}

// A topic level (or, with slashes, levels): 1 to `longest` bytes of UTF-8
// without control characters and MQTT's wildcards. The text is shown only
// when it is short and UTF-8.
void check_topic_part(const char* option, const std::string& text, bool slashes, std::size_t longest) {
  const bool fits = !text.empty() && text.size() <= longest;
  const bool utf8 =
      fits && mosquitto_validate_utf8(text.c_str(), static_cast<int>(text.size())) == MOSQ_ERR_SUCCESS;
  const bool control = std::any_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
  if (fits && utf8 && !control && text.find_first_of(slashes ? "+#" : "+#/") == std::string::npos &&
      text.front() != '/' && text.back() != '/')
    return;
  const std::string shown = !fits     ? "(" + std::to_string(text.size()) + " bytes)"
                            : !utf8   ? "(not UTF-8)"
                            : control ? "(with control characters)"
                                      : "'" + text + "'";
  throw CommandError::usage(std::string(option) + ": " + shown + " cannot be part of a topic: 1 to " +
                            std::to_string(longest) + " bytes of UTF-8 without " +
                            (slashes ? "a '/' at either end, " : "'/', ") + "'+', '#' or control characters");
}

// Lines from several threads, one at a time; with --json each is a record
// {"log": TEXT, "stamp": UTC}.
class Log {
 public:
  explicit Log(Output& out) : out_(out) {}
  void line(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (out_.json())
      out_.line(
          Json{{"log", text}, {"stamp", utc_now()}}.dump(-1, ' ', false, Json::error_handler_t::replace));
    else
      out_.line("bridge: " + text);
  }

 private:
  Output& out_;
  std::mutex mutex_;
};

// Board commands other than the drive, one after another on a thread of
// their own, so that a silent board holds up neither the broker nor the drive.
class Worker {
 public:
  Worker() : thread_([this] { run(); }) {}
  ~Worker() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  // False when kMostQueued jobs wait already.
  bool post(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      if (jobs_.size() >= kMostQueued) return false;
      jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
    return true;
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      changed_.wait_for(lock, std::chrono::seconds(1), [this] { return quit_ || !jobs_.empty(); });
      if (quit_ || jobs_.empty()) continue;
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  bool quit_ = false;
  std::thread thread_;
};

// One board of the bridge: its connection (once its port opened), its link
// figures since the start and those of the last diagnostics period.
struct BridgeBoard {
  explicit BridgeBoard(Board b) : board(b) {}
  Board board;
  std::atomic<BoardConnection*> connection{nullptr};
  std::optional<CommandError> left_out;  // why its port did not open
  Clock::time_point next_open{};
  LinkFigures figures;
  LinkFigures period;  // since the last diagnostics
  Result last_failure;
};

class Bridge {
 public:
  Bridge(Session& session, Output& out, const BridgeArgs& args, BrokerSettings broker)
      : session_(session),
        args_(args),
        base_(args.prefix + "/" + args.name + "/"),
        log_(out),
        drive_(std::chrono::milliseconds(std::lround(args.dead_man_s * 1000)),
               [this](const CommandOutcome& outcome) { result(outcome); }) {
    open_boards();
    broker_url_ = args.broker;
    broker.client_id = "tavik-bridge-" + args.name;
    broker.will_topic = base_ + "state";
    broker.will_payload = [this] { return state_payload("offline", "connection lost"); };
    link_ = std::make_unique<MqttLink>(std::move(broker), handler());
    link_->start();
  }

  // The broker's thread first, so that nothing calls in any more; then the
  // jobs and the drive (its last stop).
  ~Bridge() {
    if (link_) link_->stop();
  }
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  int run();

 private:
  void open_boards();
  void try_open(BridgeBoard& b);
  BrokerHandler handler();
  void on_message(const std::string& topic, const std::string& payload, bool retained);
  void carry_out(const BridgeCommand& command);
  void result(const CommandOutcome& outcome) {
    if (link_) link_->publish(base_ + "cmd/result", result_payload(outcome), 1, false);
  }
  void poll(double t);
  void diagnostics();
  std::string state_payload(const char* state, const char* why = nullptr) const;
  void publish(const char* topic, const Json& payload) {
    link_->publish(base_ + topic, payload.dump(), 0, false);
  }

  Session& session_;
  const BridgeArgs& args_;
  const std::string base_;  // "tavik/NAME/"
  std::string broker_url_;
  Log log_;
  BridgeBoard boards_[2] = {BridgeBoard(Board::kPsb), BridgeBoard(Board::kDrvb)};
  WheelSpeed speed_;
  std::mutex refused_mutex_;
  std::string refused_;             // guarded by refused_mutex_: why the broker said no
  std::unique_ptr<MqttLink> link_;  // made last, destroyed last (stopped first, above)
  DriveControl drive_;
  Worker worker_;
};

void Bridge::open_boards() {
  for (BridgeBoard& b : boards_) try_open(b);
  if (boards_[0].left_out && boards_[1].left_out) throw *boards_[0].left_out;
  for (const BridgeBoard& b : boards_) {
    if (b.left_out)
      log_.line(std::string(board_name(b.board)) + " at " + b.left_out->port +
                " not open: " + b.left_out->detail + "; trying again every 2 s");
  }
}

void Bridge::try_open(BridgeBoard& b) {
  try {
    BoardConnection& connection = session_.open(b.board);
    b.connection = &connection;
    if (b.left_out) log_.line(std::string(board_name(b.board)) + " at " + session_.port(b.board) + " open");
    b.left_out.reset();
    if (b.board == Board::kDrvb && args_.allow_drive) drive_.attach(connection);
  } catch (const CommandError& e) {
    b.left_out = e;
    b.next_open = Clock::now() + kOpenRetry;
  }
}

std::string Bridge::state_payload(const char* state, const char* why) const {
  Json payload{{"stamp", utc_now()},
               {"state", state},
               {"version", TAVIK_VERSION},
               {"psb", session_.port(Board::kPsb)},
               {"drvb", session_.port(Board::kDrvb)},
               {"drive_allowed", args_.allow_drive}};
  if (why != nullptr) payload["reason"] = why;
  return payload.dump();
}

BrokerHandler Bridge::handler() {
  BrokerHandler h;
  h.connected = [this] {
    // Every cmd/ topic, so that one that names no command is answered too.
    link_->subscribe(base_ + "cmd/#");
    link_->publish(base_ + "state", state_payload("online"), 1, true);
    log_.line("connected to " + broker_url_ + " as " + base_);
  };
  h.lost = [this](const std::string& why) {
    drive_.stop();
    log_.line("broker lost (" + why + "); the drive is stopped; connecting again");
  };
  h.retrying = [this](const std::string& why) { log_.line("cannot connect to " + broker_url_ + ": " + why); };
  h.refused = [this](const std::string& why) {
    std::lock_guard lock(refused_mutex_);
    refused_ = why;
  };
  h.message = [this](const std::string& topic, const std::string& payload, bool retained) {
    on_message(topic, payload, retained);
  };
  return h;
}

void Bridge::on_message(const std::string& topic, const std::string& payload, bool retained) {
  const std::string prefix = base_ + "cmd/";
  if (topic.rfind(prefix, 0) != 0) return;
  const std::string name = topic.substr(prefix.size());
  if (name == "result") return;  // the bridge's own answers
  // How a retained message is cleared: nothing to carry out or answer.
  if (retained && payload.empty()) return;
  if (retained) {
    // Kept by the broker from some time ago: never a reason to move now.
    result(
        {name, reason::kRetainedCommand, "a retained command is not carried out; publish it without retain"});
    return;
  }
  if (payload.size() > kLongestPayload) {
    result({name, reason::kUsage,
            "the payload is " + std::to_string(payload.size()) + " bytes, more than " +
                std::to_string(kLongestPayload) + "; not read"});
    return;
  }
  const ParsedCommand parsed = parse_command(name, payload);
  if (!parsed.command) {
    result(parsed.refusal);
    return;
  }
  if (parsed.command->kind == BridgeCommand::Kind::kDrive) {
    if (!args_.allow_drive)
      result({name, reason::kDriveNotAllowed, "this bridge was started without --allow-drive"});
    else
      drive_.drive(parsed.command->left_mm_s, parsed.command->right_mm_s);
    return;
  }
  const BridgeCommand command = *parsed.command;
  if (!worker_.post([this, command] { carry_out(command); }))
    result({name, failure_row(Failure::kBusy).reason, "too many commands waiting"});
}

void Bridge::carry_out(const BridgeCommand& command) {
  const char* name = kCommandNames[static_cast<int>(command.kind)];
  const Board board =
      command.kind == BridgeCommand::Kind::kPower || command.kind == BridgeCommand::Kind::kMaxDistance
          ? Board::kPsb
          : Board::kDrvb;
  BoardConnection* connection = boards_[board == Board::kPsb ? 0 : 1].connection.load();
  if (connection == nullptr) {
    result({name, failure_row(Failure::kNotOpen).reason,
            std::string("the ") + board_label(board) + "'s port is not open"});
    return;
  }
  // The wheels stop before their power or their servo goes off.
  const bool stop_first =
      !command.on && (command.kind == BridgeCommand::Kind::kServo ||
                      (command.kind == BridgeCommand::Kind::kPower && command.device == 0));
  if (stop_first) {
    drive_.stop();
    drive_.wait_stopped(kStopFirstBound);
  }
  Result done;
  std::string step;
  switch (command.kind) {
    case BridgeCommand::Kind::kPower:
      step = std::string("switch ") + kPsbDevices[command.device] + (command.on ? " on" : " off");
      done = psb::set_power_control(*connection, command.device, command.on ? 1 : 0);
      break;
    case BridgeCommand::Kind::kServo:
      step = command.on ? "switch the servo on" : "switch the servo off";
      done = drvb::set_servo(*connection, command.on ? 1 : 0);
      break;
    case BridgeCommand::Kind::kMaxDistance:
      step = "set maximum distance";
      done = psb::set_usonic_max_dist(*connection, command.code);
      break;
    case BridgeCommand::Kind::kResetErrors:
      step = "reset wheel errors";
      done = drvb::set_drive_err_reset(*connection);
      break;
    case BridgeCommand::Kind::kDrive:
      return;
  }
  if (done.is_ok()) {
    result({name, "ok", ""});
    return;
  }
  const CommandError e(kExitCommandFailed, failure_row(done.failure).reason, step, board,
                       session_.port(board), describe(done));
  result({name, e.reason, e.message()});
}

void Bridge::poll(double t) {
  const std::string stamp = utc_now();
  Json readings[2];
  for (std::size_t i = 0; i < 2; ++i) {
    BridgeBoard& b = boards_[i];
    BoardConnection* connection = b.connection.load();
    if (connection == nullptr) continue;
    std::vector<Step> steps;
    readings[i] = b.board == Board::kPsb ? read_psb(*connection, steps)
                                         : read_drvb(*connection, steps, [this] { drive_.give_way(); });
    b.figures.add(steps, t);
    b.period.add(steps, t);
    for (const Step& step : steps) {
      if (!step.result.is_ok()) b.last_failure = step.result;
    }
    mark_failures(readings[i], steps);
    if (b.board == Board::kDrvb) {
      const bool lost = std::any_of(steps.begin(), steps.end(),
                                    [](const Step& s) { return is_port_loss(s.result.failure); });
      if (lost) {
        drive_.stop();
        drive_.forget_max_velocity();
      }
      drive_.set_blocked(drive_blocked(readings[i]));
    }
  }
  if (boards_[0].connection.load() != nullptr) {
    publish("battery", battery_payload(readings[0], stamp));
    publish("ranges", ranges_payload(readings[0], stamp));
  }
  if (boards_[1].connection.load() != nullptr) {
    const Json speed = speed_.update(readings[1], t);
    publish("wheels", wheels_payload(readings[1], speed, stamp));
  }
}

void Bridge::diagnostics() {
  Json boards = Json::array();
  for (BridgeBoard& b : boards_) {
    BoardConnection* connection = b.connection.load();
    if (connection == nullptr && b.left_out && Clock::now() >= b.next_open) try_open(b);
    connection = b.connection.load();
    boards.push_back(board_diagnostics(
        {b.board, connection != nullptr, b.left_out ? b.left_out->detail : "", &b.period, &b.figures,
         connection != nullptr ? connection->late.seen.load() : 0u, b.last_failure}));
    b.period = LinkFigures();
  }
  publish("diagnostics", Json{{"stamp", utc_now()}, {"boards", boards}});
}

int Bridge::run() {
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / args_.rate_hz));
  const auto start = Clock::now();
  auto next_poll = start;
  auto next_diagnostics = start + kDiagnosticsPeriod;
  for (;;) {
    {
      std::lock_guard lock(refused_mutex_);
      if (!refused_.empty()) break;
    }
    const auto now = Clock::now();
    if (now >= next_poll) {
      poll(recording::round_ms(std::chrono::duration<double>(now - start).count()));
      next_poll = std::max(next_poll + period, Clock::now());
    }
    if (now >= next_diagnostics) {
      diagnostics();
      next_diagnostics += kDiagnosticsPeriod;
    }
    if (const int sig = wait_for_stop(std::min(next_poll, next_diagnostics)); sig != 0) {
      drive_.close();  // first of all: no drive from now on
      log_.line(std::string("ending (") + stop_signal_name(sig) + ")");
      link_->close(base_ + "state", state_payload("offline", stop_signal_name(sig)), kOfflineBound);
      return stop_exit_code(sig);
    }
  }
  drive_.close();
  link_->close(base_ + "state", state_payload("offline", "broker refused the connection"), kOfflineBound);
  std::lock_guard lock(refused_mutex_);
  throw CommandError(kExitCommandFailed, reason::kBrokerRefused, "connect to the broker", std::nullopt, "",
                     broker_url_ + " refused the connection: " + refused_);
  return kExitCommandFailed;
}

// After the bridge, however it ended: the stop to its drive board, nothing else.
int send_stop_after(Session& session, Output& out) {
  BoardConnection& connection = session.open(Board::kDrvb);
  session.check(send_stop(connection), "send the stop (0,0)", Board::kDrvb);
  Json record = board_header(session, Board::kDrvb);
  record.update(Json{{"stop_sent", true}});
  out.record(record);
  return kExitOk;
}

int bridge(Session& session, Output& out, const BridgeArgs& args) {
  if (args.send_stop) return send_stop_after(session, out);
  check_topic_part("--name", args.name, false, kLongestName);
  check_topic_part("--topic-prefix", args.prefix, true, kLongestPrefix);
  BrokerSettings broker = broker_of(args.broker);
  if (!args.password_file.empty() && args.username.empty())
    throw CommandError::usage("--password-file needs --username");
  if (!args.ca_file.empty() && !broker.tls) throw CommandError::usage("--ca-file needs an mqtts:// broker");
  if (args.cert_file.empty() != args.key_file.empty())
    throw CommandError::usage("--cert and --key go together");
  if (!args.cert_file.empty() && !broker.tls) throw CommandError::usage("--cert needs an mqtts:// broker");
  broker.username = args.username;
  if (!args.password_file.empty()) broker.password = read_password(args.password_file);
  broker.ca_file = args.ca_file;
  broker.cert_file = args.cert_file;
  broker.key_file = args.key_file;
  Bridge bridge(session, out, args, std::move(broker));
  return bridge.run();
}

}  // namespace

void add_bridge_command(CLI::App& app, Runner& run) {
  auto args = std::make_shared<BridgeArgs>();
  CLI::App* command = app.add_subcommand(
      "bridge", "Put the robot on an MQTT broker: readings, diagnostics and state out, commands in");
  command->add_option("--broker", args->broker, "mqtt://HOST[:PORT] (1883) or mqtts://HOST[:PORT] (8883)")
      ->required();
  command
      ->add_option("--name", args->name,
                   "the robot's name, its topics' level after the prefix (1 to 64 bytes of UTF-8, no '/', "
                   "'+' or '#')")
      ->required();
  command->add_flag("--allow-drive", args->allow_drive, "carry out cmd/drive (refused without it)");
  command->add_flag("--send-stop", args->send_stop,
                    "only send the drive board the stop (0,0), with the bridge's options, and end: for "
                    "its service once it ended, however it ended");
  add_number(*command, "--rate", args->rate_hz, "telemetry per second (0.1 to 50, default 5)",
             {.least = 0.1, .most = 50.0, .unit = "polls per second"});
  add_number(*command, "--dead-man", args->dead_man_s,
             "seconds a drive holds after its last command, then 0,0 (0.05 to 10, default 0.5)",
             {.least = 0.05, .most = 10.0, .unit = "seconds"});
  command->add_option("--username", args->username, "the broker's user name");
  command->add_option("--password-file", args->password_file, "a file whose first line is the password");
  command->add_option("--ca-file", args->ca_file,
                      "the CA certificate of an mqtts:// broker (default: the system's)");
  command->add_option("--cert", args->cert_file, "the client certificate, for a broker that asks for one");
  command->add_option("--key", args->key_file, "the client certificate's key");
  command->add_option("--topic-prefix", args->prefix, "the topics' first levels (default tavik)");
  command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return bridge(session, out, *args); }; });
}

}  // namespace tavik::cli
