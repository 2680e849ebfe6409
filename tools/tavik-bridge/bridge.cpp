// tavik-bridge --broker mqtt://HOST[:PORT] --name NAME [--allow-drive] ...
//
// Puts one robot on an MQTT broker: publishes its readings under
// PREFIX/NAME/ (those of tavik watch, at --rate, and with the wheel
// separation known the odometry of its encoder counts), its link diagnostics once
// a second, its state (retained; the broker's last will says offline) and
// its summary for a fleet overview (retained, on a change at most once a
// second and at least every 10 s),
// and carries out the commands of PREFIX/NAME/cmd/..., each answered on
// cmd/result. A drive holds for the dead-man time after its last message;
// the broker lost, the drive board lost or the bridge ending stop it at
// once. Runs until a stop request; the broker refusing the connection ends
// it (exit 1), and so does another bridge under the same name (exit 4):
// one that finds another publishing under the name before it connects
// (also after a loss, since a broker may end a session taken over without
// a word) does not connect, and one told that its session was taken over
// does not take it back; either stops its drive first. Where the broker
// makes each login its client id (mosquitto's use_username_as_clientid),
// any connection under the robot's login, the question's too, takes the
// session, and mosquitto 2.0 closes the old one without a word: the bridge
// takes that as a loss (its drive stopped) and connects again.
#include "bridge.h"

#include <algorithm>
#include <memory>

#include "board_command.h"
#include "broker_address.h"
#include "command_worker.h"
#include "drive_loop.h"
#include "drvb/drvb_commands.h"
#include "facts/drvb_facts.h"
#include "mqtt_link.h"
#include "name_holder.h"
#include "odometry_payloads.h"
#include "password_file.h"
#include "polled_odometry.h"
#include "process.h"
#include "program_log.h"
#include "retried_board.h"
#include "stop_after_end.h"
#include "summary.h"
#include "tavik_version.h"
#include "topic_check.h"
#include "topic_table.h"
#include "utc_now.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kDiagnosticsPeriod = std::chrono::seconds(1);
// How long the clean exit waits for the broker to take the offline state.
constexpr auto kOfflineBound = std::chrono::milliseconds(1000);
// The largest command payload read; a larger one is answered unread.
constexpr std::size_t kLongestPayload = 64 * 1024;
// How long a cmd/stop waits for the drive's own stop to be answered.
constexpr auto kStopAnswerBound = std::chrono::milliseconds(300);

class Bridge {
 public:
  Bridge(Session& session, Output& out, const BridgeArgs& args, BrokerSettings broker)
      : session_(session),
        args_(args),
        base_(args.prefix + "/" + args.name + "/"),
        log_(out, "bridge: "),
        drive_(std::chrono::milliseconds(std::lround(args.dead_man_s * 1000)),
               [this](const CommandOutcome& outcome) { result(outcome); }) {
    if (const auto separation = session.wheel_separation_mm(args.wheel_separation_mm))
      odometry_.emplace(*separation);
    open_boards();
    broker_url_ = args.broker;
    broker.client_id = "tavik-bridge-" + args.name;
    broker.will_topic = base_ + "state";
    broker.will_payload = [this] { return state_payload("offline", "connection lost"); };
    broker_ = broker;
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
  void try_open(RetriedBoard& b);
  BrokerHandler handler();
  void on_message(const std::string& topic, const std::string& payload, bool retained);
  void carry_out(const BridgeCommand& command);
  void end(CommandError why) {
    std::lock_guard lock(ended_mutex_);
    if (!ended_) ended_ = std::move(why);
  }
  void result(const CommandOutcome& outcome) {
    if (link_) send("cmd/result", result_payload(outcome));
  }
  void poll(double t);
  // The servo as the drive board last took it (1 on, 0 off, -1 not known):
  // a change republishes the retained state, which carries it.
  void note_servo(int on);
  void publish_parameters(BoardConnection& drvb);
  void diagnostics();
  // Publishes the summary when SummaryPacer says it is due.
  void offer_summary();
  std::string state_payload(const char* state, const char* why = nullptr) const;
  // Under the topic's QoS and retain flag (topic_table.h).
  void send(std::string_view topic, const std::string& payload) {
    const TopicRow& row = topic_row(topic);
    link_->publish(base_ + row.topic, payload, row.qos, row.retained);
  }
  void publish(const char* topic, const Json& payload) { send(topic, payload.dump()); }

  Session& session_;
  const BridgeArgs& args_;
  const std::string base_;  // "tavik/NAME/"
  std::string broker_url_;
  BrokerSettings broker_;  // for the question whether another bridge has the name
  ProgramLog log_;
  RetriedBoard boards_[2] = {RetriedBoard(Board::kPsb), RetriedBoard(Board::kDrvb)};
  WheelSpeed speed_;
  std::optional<PolledOdometry> odometry_;   // with the wheel separation known
  std::atomic<bool> parameters_owed_{true};  // the retained parameters are (re)published at the next poll
  std::atomic<int> servo_{-1};               // see note_servo
  std::atomic<bool> summary_owed_{true};     // the summary goes out at the next offer, due or not
  SummarySource summary_;                    // the run thread's
  SummaryPacer summary_pacer_;
  std::mutex ended_mutex_;
  std::optional<CommandError> ended_;  // guarded by ended_mutex_: the broker's last word, why the bridge ends
  std::unique_ptr<MqttLink> link_;     // made last, destroyed last (stopped first, above)
  DriveControl drive_;
  CommandWorker worker_;
};

// A port that does not open (missing, busy, refused) is tried again every
// kOpenRetry, as a service should, also when neither opens; a name that
// cannot be a port at all is a usage error.
void Bridge::open_boards() {
  for (RetriedBoard& b : boards_) try_open(b);
}

void Bridge::try_open(RetriedBoard& b) {
  if (tavik::cli::try_open(session_, b, log_) && b.board == Board::kDrvb && args_.allow_drive)
    drive_.attach(*b.connection.load());
}

std::string Bridge::state_payload(const char* state, const char* why) const {
  Json payload{{"stamp", utc_now()},
               {"state", state},
               {"version", TAVIK_VERSION},
               {"psb", session_.port(Board::kPsb)},
               {"drvb", session_.port(Board::kDrvb)},
               {"drive_allowed", args_.allow_drive}};
  if (const int servo = servo_; servo >= 0) payload["servo"] = servo == 1;
  if (why != nullptr) payload["reason"] = why;
  return payload.dump();
}

BrokerHandler Bridge::handler() {
  BrokerHandler h;
  h.connected = [this] {
    // Every cmd/ topic, so that one that names no command is answered too.
    link_->subscribe(base_ + kCommandFilter);
    send("state", state_payload("online"));
    parameters_owed_ = true;
    summary_owed_ = true;
    log_.line("connected to " + broker_url_ + " as " + base_);
  };
  h.lost = [this](const std::string& why) {
    drive_.stop();
    log_.line("broker lost (" + why + "); the drive is stopped; connecting again");
  };
  h.retrying = [this](const std::string& why) { log_.line("cannot connect to " + broker_url_ + ": " + why); };
  h.refused = [this](const std::string& why) {
    end(CommandError(kExitCommandFailed, reason::kBrokerRefused, "connect to the broker", std::nullopt, "",
                     broker_url_ + " refused the connection: " + why));
  };
  h.taken_over = [this](const std::string& why) {
    drive_.close();  // first of all: the other bridge has the name, and its commands
    log_.line("another client connected as " + base_ + " and the broker ended this one's session (" + why +
              "); the drive is stopped; ending");
    end(CommandError(kExitNameTaken, reason::kNameTaken, "", std::nullopt, "",
                     "another bridge runs as " + base_ + " on " + broker_url_ +
                         " (the broker gave it this one's session): one name, one bridge"));
  };
  // Taking the name's session would end the bridge that has it (which
  // would take it back in turn): asked before each connect, also after a
  // loss, since a broker may end a session taken over without a word.
  h.before_connect = [this] {
    if (name_holder(broker_, base_, [this] { return link_->stopping(); }) != NameHolder::kLive) return true;
    drive_.close();
    log_.line("another bridge publishes as " + base_ + " on " + broker_url_ + "; ending");
    end(CommandError(kExitNameTaken, reason::kNameTaken, "", std::nullopt, "",
                     "another bridge runs as " + base_ + " on " + broker_url_ +
                         " (its state is online and it publishes): one name, one bridge"));
    return false;
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
    const Json& id = parsed.command->id;
    if (!args_.allow_drive)
      result({name, reason::kDriveNotAllowed, "this bridge was started without --allow-drive", id});
    else if (args_.require_stamp && !parsed.command->stamp)
      result({name, reason::kUsage, "no stamp: this bridge takes only stamped drives (--require-stamp)", id});
    else if (const auto stale = stale_command(*parsed.command, args_.max_command_age_s))
      result({name, reason::kStaleCommand, *stale, id});
    else
      drive_.drive(parsed.command->left_mm_s, parsed.command->right_mm_s, id);
    return;
  }
  const BridgeCommand command = *parsed.command;
  // A stop, always taken (also without --allow-drive), stops the drive at once; its answer follows.
  if (command.kind == BridgeCommand::Kind::kStop) drive_.stop();
  if (!worker_.post([this, command] { carry_out(command); }))
    result({name, failure_row(Failure::kInterrupted).reason, "too many commands waiting", command.id});
}

void Bridge::carry_out(const BridgeCommand& command) {
  CommandOutcome outcome;
  if (command.kind == BridgeCommand::Kind::kStop && args_.allow_drive &&
      boards_[1].connection.load() != nullptr) {
    // The drive's own stop where the bridge drives, so that only its thread sends velocities.
    if (drive_.wait_stopped(kStopAnswerBound))
      outcome = {"stop", "ok", ""};
    else
      outcome = {"stop", failure_row(Failure::kNoReply).reason,
                 "the drive board has not answered the stop (0,0) yet; it is sent again every 100 ms"};
  } else {
    const Board board = board_of(command);
    outcome = tavik::cli::carry_out(command, boards_[board == Board::kPsb ? 0 : 1].connection.load(),
                                    session_.port(board), drive_);
  }
  outcome.id = command.id;
  result(outcome);
  if (command.kind == BridgeCommand::Kind::kServo && outcome.ok()) note_servo(command.on ? 1 : 0);
}

void Bridge::note_servo(int on) {
  // Once the bridge ends its state is the offline one it leaves.
  if (servo_.exchange(on) != on && !stop_requested()) send("state", state_payload("online"));
}

void Bridge::poll(double t) {
  const std::string stamp = utc_now();
  Json readings[2];
  std::vector<Step> steps[2];
  for (std::size_t i = 0; i < 2; ++i) {
    RetriedBoard& b = boards_[i];
    if (b.connection.load() == nullptr) continue;
    readings[i] = poll_board(b, t, steps[i], [this] { drive_.give_way(); });
    note_period(b, steps[i], t);
    if (b.board == Board::kDrvb) {
      const bool lost = std::any_of(steps[i].begin(), steps[i].end(),
                                    [](const Step& s) { return is_port_loss(s.result.failure); });
      if (lost) {
        drive_.stop();
        drive_.forget_max_velocity();
        parameters_owed_ = true;
        note_servo(-1);  // the board may have been switched off and on meanwhile
      }
      drive_.set_blocked(drive_blocked(readings[i]));
    }
  }
  summary_.psb = readings[0];
  summary_.drvb = readings[1];
  if (boards_[0].connection.load() != nullptr) {
    publish("battery", battery_payload(readings[0], stamp));
    publish("ranges", ranges_payload(readings[0], stamp));
  }
  if (boards_[1].connection.load() != nullptr) {
    const Json speed = speed_.update(readings[1], t);
    publish("wheels", wheels_payload(readings[1], speed, stamp));
    // A poll whose encoders were not read leaves the pose unpublished; the wheels say why.
    if (odometry_ && odometry_->add(readings[1], steps[1], t)) {
      publish("odom", odom_payload(odometry_->odometry(), stamp));
      summary_.pose = odometry_->odometry().pose();
    }
    if (parameters_owed_) publish_parameters(*boards_[1].connection.load());
  }
}

// Read after each connect to the broker and each reopen of the drive
// board's port; a read that fails is tried again at the next poll.
void Bridge::publish_parameters(BoardConnection& drvb) {
  std::vector<int> values(drvb::kParameters.size());
  for (std::size_t id = 0; id < values.size(); ++id) {
    drive_.give_way();
    if (!drvb::read_parameter(drvb, static_cast<int>(id), &values[id]).is_ok()) return;
  }
  parameters_owed_ = false;
  publish("parameters", parameters_payload(values, utc_now()));
}

void Bridge::diagnostics() {
  Json boards = Json::array();
  for (RetriedBoard& b : boards_) {
    if (b.connection.load() == nullptr && b.left_out && Clock::now() >= b.next_open) try_open(b);
    boards.push_back(diagnostics_entry(b));
  }
  summary_.boards = boards;
  publish("diagnostics", Json{{"stamp", utc_now()}, {"boards", boards}});
}

void Bridge::offer_summary() {
  const Json content = summary_content(summary_);
  if (summary_owed_.exchange(false)) summary_pacer_.renew();
  if (!summary_pacer_.due(summary_change_key(content), Clock::now())) return;
  Json payload{{"stamp", utc_now()}};
  payload.update(content);
  publish("summary", payload);
}

int Bridge::run() {
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / args_.rate_hz));
  const auto start = Clock::now();
  auto next_poll = start;
  auto next_diagnostics = start + kDiagnosticsPeriod;
  for (;;) {
    {
      std::lock_guard lock(ended_mutex_);
      if (ended_) break;
    }
    const auto now = Clock::now();
    if (now >= next_poll) {
      poll(recording::round_ms(std::chrono::duration<double>(now - start).count()));
      offer_summary();
      next_poll = std::max(next_poll + period, Clock::now());
    }
    if (now >= next_diagnostics) {
      diagnostics();
      offer_summary();
      next_diagnostics += kDiagnosticsPeriod;
    }
    if (const int sig = wait_for_stop(std::min(next_poll, next_diagnostics)); sig != 0) {
      drive_.close();  // first of all: no drive from now on
      log_.line(std::string("ending (") + stop_signal_name(sig) + ")");
      summary_.online = false;
      summary_owed_ = true;
      offer_summary();
      link_->close(base_ + "state", state_payload("offline", stop_signal_name(sig)), kOfflineBound);
      return stop_exit_code(sig);
    }
  }
  // Refused, or the name's session taken by another bridge: the state is
  // not this one's to publish any more; the stop goes out before the end.
  drive_.close();
  drive_.wait_stopped(kStopAnswerBound);
  link_->stop();
  std::lock_guard lock(ended_mutex_);
  throw *ended_;
}

}  // namespace

int run_bridge(Session& session, Output& out, const BridgeArgs& args) {
  if (args.send_stop) return send_stop_after(session, out);
  check_topic_part("--name", args.name, false, kLongestName);
  check_topic_part("--topic-prefix", args.prefix, true, kLongestPrefix);
  const BrokerAddress address = broker_address(args.broker);
  BrokerSettings broker;
  broker.host = address.host;
  broker.port = address.port;
  broker.tls = address.tls;
  if (!args.ca_file.empty() && !broker.tls) throw CommandError::usage("--ca-file needs an mqtts:// broker");
  if (args.cert_file.empty() != args.key_file.empty())
    throw CommandError::usage("--cert and --key go together");
  if (!args.cert_file.empty() && !broker.tls) throw CommandError::usage("--cert needs an mqtts:// broker");
  // The robot's own identity by default: a broker that maps each user (or
  // certificate) to one robot's topics lets it write only its own.
  broker.username = args.username.empty() ? args.name : args.username;
  if (!args.password_file.empty()) broker.password = read_password(args.password_file);
  broker.ca_file = args.ca_file;
  broker.cert_file = args.cert_file;
  broker.key_file = args.key_file;
  Bridge bridge(session, out, args, std::move(broker));
  return bridge.run();
}

}  // namespace tavik::cli
