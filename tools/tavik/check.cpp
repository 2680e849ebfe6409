// tavik check [--dut ID] [--station ID] [--operator NAME] [--limits FILE]
//             [--junit FILE] [--retries N] [--interactive [--prompt-timeout S]]
//             [--attach DIR] [--drive [--speed MM_S] [--for S]]
//
// Judges the robot against limits, item by item: each board's link, the
// battery, the ranges, the device states, the bumpers, the emergency stop,
// the wheel errors, with --interactive a press of each bumper and of the
// emergency stop, the drive parameters and, with --drive, a short drive
// whose encoder counts must match its travel. The readings are the status
// commands' (board_readings); the drive is drvb drive's, so it ends with the
// stop (0,0) on the wire whatever ends it. A failed item is measured again
// up to --retries times. Prints a table, or one JSON record, and writes a
// JUnit file for a CI server, also when a port does not open (that board's
// items are ERROR) or Ctrl-C ends the run (ABORTED); exit 0 when every item
// passed, 1 when one failed or could not be measured, 3 when a port did not
// open, 128 + the signal's number when a stop request ended it.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>

#include "board_readings.h"
#include "check_attach.h"
#include "check_items.h"
#include "check_prompt.h"
#include "check_report.h"
#include "commands.h"
#include "drive_loop.h"
#include "drvb/drvb_commands.h"
#include "link_figures.h"
#include "number_check.h"
#include "output_file.h"
#include "process.h"
#include "serial/port_map.h"
#include "tavik_version.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Polls per board: the link's round trip is their median.
constexpr int kLinkPolls = 3;
constexpr double kLongestDriveS = 10.0;
// How often a switch the operator was asked to press is read.
constexpr std::chrono::milliseconds kPressPoll{50};
constexpr double kDefaultPromptS = 30.0;
constexpr double kLongestPromptS = 3600.0;
constexpr int kMostRetries = 10;
// The longest id, station or operator name taken.
constexpr std::size_t kLongestName = 100;

struct CheckArgs {
  std::string limits;
  std::string junit;
  bool drive = false;
  DriveTest test;
  std::string dut;
  std::string station;
  std::string operator_name;
  int retries = 0;
  bool interactive = false;
  double prompt_s = kDefaultPromptS;
  std::string attach;
};

// A board's readings over the polls: each field from its last good read,
// and the failures of the steps that did not succeed in the last poll.
struct BoardRead {
  Json reading = Json::object();
  std::map<std::string, Result> failed;  // by step name
  LinkFigures figures;
};

BoardRead poll(BoardConnection& connection, Board board) {
  BoardRead read;
  for (int i = 0; i < kLinkPolls; ++i) {
    std::vector<Step> steps;
    read.reading.update(board == Board::kPsb ? read_psb(connection, steps) : read_drvb(connection, steps));
    read.figures.add(steps, 0);
    bool any_ok = false;
    for (const Step& step : steps) {
      if (step.result.is_ok())
        read.failed.erase(step.name);
      else
        read.failed[step.name] = step.result;
      any_ok = any_ok || step.result.is_ok();
    }
    if (!any_ok) break;  // a silent board: the rest would only wait as long again
  }
  return read;
}

// The item that could not be measured because step failed.
Item failed_step(const ItemRule& rule, const std::string& step, Result result) {
  return not_measured(rule, step + " failed: " + describe(result), failure_row(result.failure).reason);
}

bool needs_drvb(ItemSource source) { return source != ItemSource::kPsb; }

bool judged_again(const Item& item) { return item.outcome == kFail || item.outcome == kError; }

std::string seconds_text(double seconds) { return number_text(seconds) + " s"; }

class Check {
 public:
  Check(const CheckArgs& args, const Rules& rules) : args_(args), rules_(rules) {}

  // The stop request that came (Ctrl-C), looked for now, or 0.
  int stopped() {
    if (stop_ == 0) stop_ = std::max(wait_for_stop(Clock::now()), 0);
    return stop_;
  }
  void stop(int request) { stop_ = request; }

  void link(Board board, const BoardRead& read) {
    const std::string name = std::string(board_name(board)) + "_link";
    const ItemRule& rule = find_rule(rules_, name);
    const Json figures = read.figures.summary(0, 0);
    int failures = 0;
    std::string reasons;
    for (const auto& [why, n] : figures.at("failures").items()) {
      failures += n.get<int>();
      reasons += (reasons.empty() ? "" : ", ") + why + " " + std::to_string(n.get<int>());
    }
    if (!figures.contains("round_trip_ms")) {
      const auto& [step, result] = *read.failed.begin();
      add(failed_step(rule, step, result));
      return;
    }
    Item item = judge_number(rule, figures.at("round_trip_ms").at("median").get<double>());
    if (failures > 0) {
      item.outcome = kFail;
      item.marginal = false;
      item.message = std::to_string(failures) + " of " + std::to_string(figures.at("exchanges").get<int>()) +
                     " exchanges failed (" + reasons + ")" +
                     (item.message.empty() ? "" : "; " + item.message);
    }
    add(item);
  }

  // The number at pointer in the reading, scaled, or ERROR naming the step.
  void number(const std::string& name, const BoardRead& read, const char* pointer, const char* step,
              double scale) {
    const ItemRule& rule = find_rule(rules_, name);
    const Json::json_pointer at(pointer);
    if (read.reading.contains(at))
      add(judge_number(rule, read.reading.at(at).get<double>() * scale));
    else
      add(failed_step(rule, step, read.failed.at(step)));
  }

  void psb(const BoardRead& read) {
    link(Board::kPsb, read);
    number("battery", read, "/battery_mv", "read power data", 0.001);
    number("current", read, "/current_ma", "read power data", 0.001);
    for (std::size_t i = 0; i < std::size(kRangePlaces); ++i)
      number(std::string("range_") + kRangePlaces[i], read, ("/ranges_mm/" + std::to_string(i)).c_str(),
             "read ranges", 0.001);
    for (const char* device : kPsbDevices) {
      const ItemRule& rule = find_rule(rules_, std::string("device_") + device);
      const Json::json_pointer at(std::string("/devices/") + device);
      if (read.reading.contains(at))
        add(judge_state(rule, read.reading.at(at).get<bool>() ? "on" : "off"));
      else
        add(failed_step(rule, "read power data", read.failed.at("read power data")));
    }
  }

  void drvb(const BoardRead& read) {
    link(Board::kDrvb, read);
    const auto state = [&](const std::string& name, const char* pointer, const char* step) {
      const ItemRule& rule = find_rule(rules_, name);
      const Json::json_pointer at(pointer);
      if (!read.reading.contains(at)) {
        add(failed_step(rule, step, read.failed.at(step)));
        return;
      }
      const Json& value = read.reading.at(at);
      if (value.is_boolean()) {
        add(judge_fixed(rule, value.get<bool>() ? "pressed" : "released", "released"));
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02x", value.get<unsigned>());
        add(judge_fixed(rule, hex, "0x00"));
      }
    };
    state("bumper_left", "/bumpers/left", "read bumpers");
    state("bumper_right", "/bumpers/right", "read bumpers");
    state("emergency_stop", "/emergency_stop", "read bumpers");
    state("wheel_error_left", "/wheel_errors/left", "read wheel errors");
    state("wheel_error_right", "/wheel_errors/right", "read wheel errors");
  }

  // The switches a person must press: asked for one by one with
  // --interactive, else SKIP. Ends early on a stop request.
  void presses(BoardConnection* connection) {
    // A board whose switches could not be read is not worth a person's wait.
    std::optional<Item> unread;
    for (const Item& item : items_) {
      if (item.name == "emergency_stop" && item.outcome == kError) unread = item;
    }
    for (const ItemRule& rule : rules_) {
      if (rule.kind != ItemKind::kPress) continue;
      if (!args_.interactive) {
        add(skipped(rule, "a person must press it: run with --interactive"));
      } else if (unread) {
        add(not_measured(rule, unread->message, unread->reason));
      } else if (connection != nullptr && stopped() == 0) {
        press(*connection, rule);
      }
    }
  }

  void parameters(BoardConnection& connection) {
    for (const Parameter& p : kParameters) {
      std::string name = p.name;
      std::replace(name.begin(), name.end(), '-', '_');
      int value = 0;
      const Result result = drvb::read_parameter(connection, p.id, &value);
      if (result.is_ok()) {
        add(judge_number(find_rule(rules_, name), value));
        if (p.id == 0) max_velocity_ = value;
      } else {
        add(failed_step(find_rule(rules_, name), std::string("read ") + p.name, result));
      }
    }
  }

  // Measures the items that failed or could not be measured once more:
  // reads again each board (and the parameters) one of them came from.
  // Returns false when none is left to measure again.
  bool retry(int attempt, BoardConnection* psb_connection, BoardConnection* drvb_connection,
             BoardRead& psb_read, BoardRead& drvb_read) {
    bool again[3] = {};  // psb, drvb, parameters
    for (const Item& item : items_) {
      if (!judged_again(item)) continue;
      const ItemSource source = find_rule(rules_, item.name).source;
      again[0] = again[0] || (source == ItemSource::kPsb && psb_connection != nullptr);
      again[1] = again[1] || (source == ItemSource::kDrvb && drvb_connection != nullptr);
      again[2] = again[2] || (source == ItemSource::kParameter && drvb_connection != nullptr);
    }
    if (!again[0] && !again[1] && !again[2]) return false;
    std::vector<Item> before = std::move(items_);
    items_.clear();
    if (again[0]) psb(psb_read = poll(*psb_connection, Board::kPsb));
    if (again[1]) drvb(drvb_read = poll(*drvb_connection, Board::kDrvb));
    if (again[2]) parameters(*drvb_connection);
    std::vector<Item> fresh = std::move(items_);
    items_ = std::move(before);
    for (Item& item : fresh) {
      auto old =
          std::find_if(items_.begin(), items_.end(), [&](const Item& i) { return i.name == item.name; });
      if (old == items_.end() || !judged_again(*old)) continue;
      item.attempts = attempt;
      *old = std::move(item);
    }
    return true;
  }

  // Why the drive may not start, or "" when it may: the safety items must
  // have passed and the speed be within the board's maximum velocity.
  std::string drive_blocked() const {
    for (const Item& item : items_) {
      if (find_rule(rules_, item.name).kind == ItemKind::kFixed && item.outcome != kPass)
        return item.name + (item.value.is_null() ? " unknown" : " " + item.value.get<std::string>());
    }
    if (!max_velocity_) return "max_velocity unknown";
    if (args_.test.speed_mm_s > *max_velocity_)
      return "--speed " + std::to_string(args_.test.speed_mm_s) +
             " mm/s is above the board's max_velocity of " + std::to_string(*max_velocity_) + " mm/s";
    return "";
  }

  // Servo on, the drive, the stop, servo off; both encoders must have
  // advanced by the counts of the travel. Returns the stop request that
  // ended the drive, or 0.
  int drive(BoardConnection& connection) {
    const ItemRule* wheels[] = {&find_rule(rules_, "drive_left"), &find_rule(rules_, "drive_right")};
    const auto all = [&](const std::string& why, const std::string& reason) {
      for (const ItemRule* rule : wheels) add(not_measured(*rule, why, reason));
    };
    if (const int sig = wait_for_stop(Clock::now()); sig != 0) {
      all(std::string("not driven: ") + stop_signal_name(sig), reason::kStopped);
      return sig;
    }
    if (const std::string blocked = drive_blocked(); !blocked.empty()) {
      all("not driven: " + blocked, reason::kNotDriven);
      return 0;
    }
    int before[2] = {}, after[2] = {};
    if (const Result r = drvb::read_encoder(connection, &before[0], &before[1]); !r.is_ok()) {
      all("read encoders failed: " + describe(r), failure_row(r.failure).reason);
      return 0;
    }
    if (const Result r = drvb::set_servo(connection, 1); !r.is_ok()) {
      all("switch the servo on failed: " + describe(r), failure_row(r.failure).reason);
      return 0;
    }
    const DriveRun run =
        drive_for(connection, args_.test.speed_mm_s, args_.test.speed_mm_s, args_.test.seconds);
    // The drive board does not say whether its servo was on: it is left off.
    const Result servo_off = drvb::set_servo(connection, 0);
    const Result read = drvb::read_encoder(connection, &after[0], &after[1]);
    std::string why;
    std::string reason;
    if (!run.stop.is_ok()) {
      why = "the stop (0,0) failed: " + describe(run.stop);
      reason = failure_row(run.stop.failure).reason;
    } else if (run.stop_request != 0 || run.stop_reason != nullptr || !run.failure.is_ok()) {
      why = "stopped: " + run.ended;
      reason = run.stop_reason != nullptr ? run.stop_reason
               : run.failure.is_ok()      ? reason::kStopped
                                          : failure_row(run.failure.failure).reason;
    } else if (!servo_off.is_ok()) {
      why = "switch the servo off failed: " + describe(servo_off);
      reason = failure_row(servo_off.failure).reason;
    } else if (!read.is_ok()) {
      why = "read encoders failed: " + describe(read);
      reason = failure_row(read.failure).reason;
    }
    if (!why.empty()) {
      all(why, reason);
    } else {
      for (int i = 0; i < 2; ++i) {
        // The counters wrap at 32 bits.
        const auto delta = static_cast<std::int32_t>(static_cast<std::uint32_t>(after[i]) -
                                                     static_cast<std::uint32_t>(before[i]));
        add(judge_number(*wheels[i], delta));
      }
    }
    return run.stop_request > 0 ? run.stop_request : 0;
  }

  // The items of each board whose port did not open: ERROR, naming the port and why.
  void unopened(const std::optional<CommandError> (&failed)[2]) {
    for (const ItemRule& rule : rules_) {
      const std::optional<CommandError>& e = failed[needs_drvb(rule.source) ? 1 : 0];
      if (!e || (rule.source == ItemSource::kDrive && !args_.drive)) continue;
      if (rule.kind == ItemKind::kPress && !args_.interactive) continue;  // SKIP either way
      add(not_measured(rule, "the port " + e->port + " did not open: " + e->detail, e->reason));
    }
  }

  // The items in the order of the rules; after a stop request, those not
  // measured are SKIP.
  std::vector<Item> take_items() {
    std::vector<Item> out;
    for (const ItemRule& rule : rules_) {
      if (rule.source == ItemSource::kDrive && !args_.drive) continue;
      auto item =
          std::find_if(items_.begin(), items_.end(), [&](const Item& i) { return i.name == rule.name; });
      if (item != items_.end())
        out.push_back(std::move(*item));
      else if (stop_ > 0)
        out.push_back(skipped(rule, std::string("aborted by ") + stop_signal_name(stop_)));
    }
    return out;
  }

 private:
  void add(Item item) { items_.push_back(std::move(item)); }

  enum class Seen { kShown, kTimeUp, kStopped };

  // Reads the switch of rule until it reads `pressed`, the prompt's time is
  // up or a stop request comes; `read_once` tells whether any read succeeded.
  Seen wait_for(BoardConnection& connection, const ItemRule& rule, bool pressed, Result& failure,
                bool& read_once) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(args_.prompt_s));
    for (;;) {
      int left = 0, right = 0, emergency = 0;
      const Result r = drvb::read_bumper_emg(connection, &left, &right, &emergency);
      if (r.is_ok()) {
        read_once = true;
        const int state = rule.name == "bumper_left_press"    ? left
                          : rule.name == "bumper_right_press" ? right
                                                              : emergency;
        if ((state != 0) == pressed) return Seen::kShown;
      } else {
        failure = r;
      }
      const auto now = Clock::now();
      if (now >= deadline) return Seen::kTimeUp;
      if (const int sig = wait_for_stop(std::min(now + kPressPoll, deadline)); sig > 0) {
        stop_ = sig;
        return Seen::kStopped;
      }
    }
  }

  // Asks the operator to press the switch, then to release it; the board
  // must show both in time.
  void press(BoardConnection& connection, const ItemRule& rule) {
    const std::string within = " (within " + seconds_text(args_.prompt_s) + ")";
    Result failure;
    bool read_once = false;
    tell_operator(rule.prompt + within);
    Seen seen = wait_for(connection, rule, true, failure, read_once);
    if (seen == Seen::kStopped) return;
    if (seen == Seen::kShown) {
      tell_operator("Release it" + within);
      seen = wait_for(connection, rule, false, failure, read_once);
      if (seen == Seen::kStopped) return;
      if (seen == Seen::kShown)
        add(judge_press(rule, kPressedAndReleased, ""));
      else
        add(judge_press(rule, "pressed", "not released within " + seconds_text(args_.prompt_s)));
      return;
    }
    if (!read_once)
      add(failed_step(rule, "read bumpers", failure));
    else
      add(judge_press(rule, "released", "not pressed within " + seconds_text(args_.prompt_s)));
  }

  const CheckArgs& args_;
  const Rules& rules_;
  std::vector<Item> items_;
  std::optional<int> max_velocity_;
  int stop_ = 0;
};

Json board_figures(const Session& session, Board board, const BoardRead& read, const BoardConnection& c) {
  Json figures{{"port", session.port(board)}, {"target", port_target(session.port(board))}};
  figures.update(read.figures.summary(0, c.late.seen.load()));
  figures.erase("lost");
  return figures;
}

// A name given for the record: printable, not empty, not too long.
void check_name(const char* option, const std::string& name) {
  const bool printable = std::all_of(
      name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f; });
  bool text = true;
  try {
    (void)Json(name).dump();  // UTF-8, as the record must be
  } catch (const Json::exception&) {
    text = false;
  }
  if (name.empty() || !printable || !text || name.size() > kLongestName)
    throw CommandError::usage(std::string(option) + ": '" + (printable && text ? name : "?") +
                              "' must be 1 to " + std::to_string(kLongestName) + " printable characters");
}

int check(Session& session, Output& out, const CheckArgs& args) {
  Rules rules = default_rules(args.test);
  if (!args.limits.empty()) apply_limits_file(rules, args.limits);
  for (const auto& [option, name] :
       {std::pair{"--station", &args.station}, {"--operator", &args.operator_name}}) {
    if (!name->empty()) check_name(option, *name);
  }
  if (args.dut != "-" && !args.dut.empty()) check_name("--dut", args.dut);
  std::optional<Attachments> attachments;
  if (!args.attach.empty()) attachments.emplace(args.attach);
  // Made before the ports are opened (a file that cannot be written fails
  // at once, before the boards are asked anything) and put in place at the
  // end: a CI server gets a report also when a port does not open.
  std::optional<OutputFile> junit;
  if (!args.junit.empty()) {
    junit.emplace(args.junit, true, "JUnit file");
    if (junit->to_standard_output()) out.results_to_error();
  }
  Check check(args, rules);
  Report report;
  report.dut = args.dut;
  report.station = args.station;
  report.operator_name = args.operator_name;
  report.host = host_name();
  report.tool_version = TAVIK_VERSION;
  report.library_version = TAVIK_VERSION;  // the libraries' layers are linked in
  report.retries = args.retries;
  if (args.dut == "-") {
    const Answer answer = ask_operator(
        "Scan or type the device id, then Enter: ",
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(args.prompt_s)));
    if (answer.stop > 0) {
      check.stop(answer.stop);
      report.dut.clear();
    } else if (!answer.line || answer.line->empty()) {
      throw CommandError::usage("--dut -: no device id given " +
                                (answer.input_ended ? std::string("(standard input ended)")
                                                    : "within " + seconds_text(args.prompt_s)));
    } else {
      check_name("--dut", *answer.line);
      report.dut = *answer.line;
    }
  }
  report.started = recording::utc_text(std::chrono::system_clock::now());
  if (attachments) attachments->trace_to(report.dut, report.started);

  std::optional<CommandError> failed[2];
  BoardConnection* connections[2] = {};
  BoardRead reads[2];
  int stop_request = check.stopped();
  for (const Board board : {Board::kPsb, Board::kDrvb}) {
    const int i = board == Board::kPsb ? 0 : 1;
    report.boards[board_name(board)] =
        Json{{"port", session.port(board)}, {"target", port_target(session.port(board))}};
    if (stop_request != 0) continue;
    try {
      connections[i] = &session.open(board);
    } catch (const CommandError& e) {
      failed[i] = e;
      report.boards[board_name(board)]["error"] = e.detail;
    }
  }
  check.unopened(failed);
  BoardConnection* psb = connections[0];
  BoardConnection* drvb = connections[1];
  if (psb != nullptr && check.stopped() == 0) check.psb(reads[0] = poll(*psb, Board::kPsb));
  if (drvb != nullptr && check.stopped() == 0) check.drvb(reads[1] = poll(*drvb, Board::kDrvb));
  check.presses(drvb);
  if (drvb != nullptr && check.stopped() == 0) check.parameters(*drvb);
  for (int attempt = 2; attempt <= args.retries + 1 && check.stopped() == 0; ++attempt) {
    if (!check.retry(attempt, psb, drvb, reads[0], reads[1])) break;
  }
  stop_request = check.stopped();
  if (args.drive && drvb != nullptr && stop_request == 0) stop_request = check.drive(*drvb);
  if (stop_request == 0) stop_request = std::max(wait_for_stop(Clock::now()), 0);
  check.stop(stop_request);

  for (const Board board : {Board::kPsb, Board::kDrvb}) {
    const int i = board == Board::kPsb ? 0 : 1;
    if (connections[i] != nullptr && !reads[i].reading.empty())
      report.boards[board_name(board)] = board_figures(session, board, reads[i], *connections[i]);
  }
  if (stop_request > 0) report.aborted = stop_signal_name(stop_request);
  report.items = check.take_items();
  report.ended = recording::utc_text(std::chrono::system_clock::now());
  if (attachments) attachments->save(report);
  if (out.json()) {
    out.record(report_json(report));
  } else {
    const char* no_color = std::getenv("NO_COLOR");
    out.raw(report_table(report, out.results_on_terminal() && (no_color == nullptr || *no_color == '\0')));
  }
  if (junit && (!junit->write_line(report_junit(report)) || !junit->finish()) && !junit->failure().empty() &&
      !failed[0] && !failed[1])
    throw CommandError(kExitCommandFailed, reason::kWriteFailed, "", std::nullopt, "", junit->failure());
  // The port's failure is the one to report, whether or not the file could be written.
  if (failed[0] || failed[1]) throw failed[0] ? *failed[0] : *failed[1];
  if (stop_request != 0) return stop_exit_code(stop_request);
  return report.outcome() == std::string(kPass) ? kExitOk : kExitCommandFailed;
}

}  // namespace

void add_check_command(CLI::App& app, Runner& run) {
  auto args = std::make_shared<CheckArgs>();
  CLI::App* command = app.add_subcommand(
      "check", "Judge the robot item by item against limits: PASS or FAIL, with a JUnit report for CI");
  command->add_option("--dut", args->dut,
                      "the id of the robot under test, for the record; - asks for it on the terminal (a "
                      "barcode scanner types it and Enter)");
  command->add_option("--station", args->station, "the id of the test station, for the record");
  command->add_option("--operator", args->operator_name, "who runs the check, for the record");
  command->add_option("--limits", args->limits,
                      "a JSON file of limits (and marginal limits) by item name, over the defaults");
  command->add_option("--junit", args->junit,
                      "also write the result as a JUnit XML file (one testcase per item); - for standard "
                      "output (the table then goes to standard error)");
  add_number(*command, "--retries", args->retries,
             "measure an item that failed or could not be measured again, up to N times (0 to 10, default 0)",
             {.least = 0, .most = kMostRetries, .unit = ""});
  command->add_flag("--interactive", args->interactive,
                    "ask the operator to press and release each bumper and the emergency stop, and judge "
                    "what the board shows (without it those items are SKIP)");
  add_number(*command, "--prompt-timeout", args->prompt_s,
             "seconds to wait for the operator at each prompt (above 0 and up to 3600, default 30)",
             {.least = 0.0, .most = kLongestPromptS, .unit = "seconds", .least_excluded = true});
  command->add_option(
      "--attach", args->attach,
      "save the wire trace and the JSON record in this directory, named with their SHA-256 in "
      "the record");
  command->add_flag(
      "--drive", args->drive,
      std::string("also drive both wheels (the robot on blocks) and check the encoders against the "
                  "travel; ") +
          kDriveEnds);
  add_number(*command, "--speed", args->test.speed_mm_s, "speed of the --drive test, mm/s (default 100)",
             {.least = 1, .most = kParameters[0].most, .unit = "mm/s"});
  add_number(*command, "--for", args->test.seconds,
             "seconds of the --drive test (above 0 and up to 10, default 1)",
             {.least = 0.0, .most = kLongestDriveS, .unit = "seconds", .least_excluded = true});
  command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return check(session, out, *args); }; });
}

}  // namespace tavik::cli
