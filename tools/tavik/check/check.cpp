// tavik check [--limits FILE] [--junit FILE] [--drive [--speed MM_S] [--for S]]
//
// Judges the robot against limits, item by item: each board's link, the
// battery, the ranges, the device states, the bumpers, the emergency stop,
// the wheel errors, the drive parameters and, with --drive, a short drive
// whose encoder counts must match its travel. The readings are the status
// commands' (board_readings); the drive is drvb drive's, so it ends with the
// stop (0,0) on the wire whatever ends it. Prints a table, or one JSON
// record, and writes a JUnit file for a CI server; exit 0 when every item
// passed, 1 when one failed or could not be measured.
#include <cstdlib>
#include <memory>

#include "board_readings.h"
#include "check_judge.h"
#include "check_report.h"
#include "commands.h"
#include "drive_loop.h"
#include "drvb/drvb_commands.h"
#include "facts/drvb_facts.h"
#include "number_check.h"
#include "output_file.h"
#include "process.h"
#include "tavik_version.h"
#include "utc_now.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Polls per board: the link's round trip is their median.
constexpr int kLinkPolls = 3;

struct CheckArgs {
  std::string limits;
  std::string junit;
  bool drive = false;
  DriveTest test;
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

// Servo on, the drive, the stop, servo off; both encoders must have
// advanced by the counts of the travel. Returns the stop request that
// ended the drive, or 0.
int drive_test(BoardConnection& connection, CheckJudge& judge, const DriveTest& test) {
  if (const int sig = wait_for_stop(Clock::now()); sig != 0) {
    judge.drive_not_measured(std::string("not driven: ") + stop_signal_name(sig), reason::kStopped);
    return sig;
  }
  if (const std::string blocked = judge.drive_blocked(test.speed_mm_s); !blocked.empty()) {
    judge.drive_not_measured("not driven: " + blocked, reason::kNotDriven);
    return 0;
  }
  int before[2] = {}, after[2] = {};
  if (const Result r = drvb::read_encoder(connection, &before[0], &before[1]); !r.is_ok()) {
    judge.drive_not_measured("read encoders failed: " + describe(r), failure_row(r.failure).reason);
    return 0;
  }
  if (const Result r = drvb::set_servo(connection, 1); !r.is_ok()) {
    judge.drive_not_measured("switch the servo on failed: " + describe(r), failure_row(r.failure).reason);
    return 0;
  }
  const DriveRun run = drive_for(connection, test.speed_mm_s, test.speed_mm_s, test.seconds);
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
    judge.drive_not_measured(why, reason);
  } else {
    judge.drive_counts(drvb::count_delta(before[0], after[0]), drvb::count_delta(before[1], after[1]));
  }
  return run.stop_request > 0 ? run.stop_request : 0;
}

Json board_figures(const Session& session, Board board, const BoardRead& read, const BoardConnection& c) {
  Json figures{{"port", session.port(board)}};
  figures.update(read.figures.summary(0, c.late.seen.load()));
  figures.erase("lost");
  return figures;
}

// The report of a check whose ports did not all open: an ERROR for the
// link of each board whose port did not, naming the port and why.
Report unopened_report(Report report, const Rules& rules, const std::optional<CommandError> (&failed)[2]) {
  for (const Board board : {Board::kPsb, Board::kDrvb}) {
    const std::optional<CommandError>& e = failed[board == Board::kPsb ? 0 : 1];
    report.boards[board_name(board)] = Json{{"port", e ? e->port : ""}};
    if (e)
      report.items.push_back(not_measured(find_rule(rules, std::string(board_name(board)) + "_link"),
                                          "the port " + e->port + " did not open: " + e->detail, e->reason));
  }
  report.ended = utc_now();
  return report;
}

int check(Session& session, Output& out, const CheckArgs& args) {
  Rules rules = default_rules(args.test);
  if (!args.limits.empty()) apply_limits_file(rules, args.limits);
  Report report;
  report.started = utc_now();
  report.host = host_name();
  report.tool_version = TAVIK_VERSION;
  // Made before the ports are opened (a file that cannot be written fails
  // at once, before the boards are asked anything) and put in place at the
  // end: a CI server gets a report also when a port does not open.
  std::optional<OutputFile> junit;
  if (!args.junit.empty()) {
    junit.emplace(args.junit, true, "JUnit file");
    if (junit->to_standard_output()) out.results_to_error();
  }
  const auto write_junit = [&](const Report& r) {
    if (junit && (!junit->write_line(report_junit(r)) || !junit->finish()) && !junit->failure().empty())
      throw CommandError(kExitCommandFailed, reason::kWriteFailed, "", std::nullopt, "", junit->failure());
  };
  std::optional<CommandError> failed[2];
  BoardConnection* connections[2] = {};
  for (const Board board : {Board::kPsb, Board::kDrvb}) {
    const int i = board == Board::kPsb ? 0 : 1;
    try {
      connections[i] = &session.open(board);
    } catch (const CommandError& e) {
      failed[i] = e;
    }
  }
  if (failed[0] || failed[1]) {
    // The port's failure is the one to report, whether or not the file could be written.
    if (junit && junit->write_line(report_junit(unopened_report(report, rules, failed)))) junit->finish();
    throw failed[0] ? *failed[0] : *failed[1];
  }
  BoardConnection& psb = *connections[0];
  BoardConnection& drvb = *connections[1];

  CheckJudge judge(std::move(rules));
  const BoardRead psb_read = poll(psb, Board::kPsb);
  judge.psb(psb_read);
  const BoardRead drvb_read = poll(drvb, Board::kDrvb);
  judge.drvb(drvb_read);
  for (const Parameter& p : kParameters) {
    int value = 0;
    const Result result = drvb::read_parameter(drvb, p.id, &value);
    judge.parameter(p, result, value);
  }
  int stop_request = args.drive ? drive_test(drvb, judge, args.test) : 0;
  if (stop_request == 0) stop_request = std::max(wait_for_stop(Clock::now()), 0);

  report.boards["psb"] = board_figures(session, Board::kPsb, psb_read, psb);
  report.boards["drvb"] = board_figures(session, Board::kDrvb, drvb_read, drvb);
  report.ended = utc_now();
  report.items = judge.take_items();
  if (out.json()) {
    out.record(report_json(report));
  } else {
    const char* no_color = std::getenv("NO_COLOR");
    out.raw(report_table(report, out.results_on_terminal() && (no_color == nullptr || *no_color == '\0')));
  }
  write_junit(report);
  if (stop_request != 0) return stop_exit_code(stop_request);
  return report.outcome() == std::string(kPass) ? kExitOk : kExitCommandFailed;
}

}  // namespace

void add_check_command(CLI::App& app, Runner& run) {
  auto args = std::make_shared<CheckArgs>();
  CLI::App* command = app.add_subcommand(
      "check", "Judge the robot item by item against limits: PASS or FAIL, with a JUnit report for CI");
  command->add_option("--limits", args->limits, "a JSON file of limits by item name, over the defaults");
  command->add_option("--junit", args->junit,
                      "also write the result as a JUnit XML file (one testcase per item); - for standard "
                      "output (the table then goes to standard error)");
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
