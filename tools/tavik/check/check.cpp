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
// open, 128 + the signal's number when a stop request ended it. The run is
// check_run's, its judging check_judge's.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "check_attach.h"
#include "check_prompt.h"
#include "check_report.h"
#include "check_run.h"
#include "check_sha256.h"
#include "commands.h"
#include "drive_loop.h"
#include "number_check.h"
#include "output_file.h"
#include "process.h"
#include "serial/names/port_map.h"
#include "tavik_version.h"
#include "utc_now.h"

namespace tavik::cli {
namespace {

// The longest --prompt-timeout and --retries taken.
constexpr double kLongestPromptS = 3600.0;
constexpr int kMostRetries = 10;
// The longest id, station or operator name taken.
constexpr std::size_t kLongestName = 100;
// How often --dut - asks for an id when the answer is empty or no id.
constexpr int kDutAsks = 3;

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

// Asks the operator for the device id (--dut -): an empty line or one that
// is no id is told and asked again, up to kDutAsks answers. The id, or ""
// when a stop request came (passed to check).
std::string ask_dut(const CheckArgs& args, CheckRun& check) {
  const auto limit =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(args.prompt_s));
  std::string why;
  for (int ask = 1; ask <= kDutAsks; ++ask) {
    const Answer answer = ask_operator(
        ask == 1 ? "Scan or type the device id, then Enter: " : "Scan or type the device id again: ", limit);
    if (answer.stop > 0) {
      check.stop(answer.stop);
      return "";
    }
    if (!answer.line)
      throw CommandError::usage("--dut -: no device id given " +
                                (answer.input_ended ? std::string("(standard input ended)")
                                                    : "within " + seconds_text(args.prompt_s)));
    if (answer.line->empty()) {
      why = "the device id was empty";
    } else {
      try {
        check_name("--dut", *answer.line);
        return *answer.line;
      } catch (const CommandError& e) {
        why = e.detail;
      }
    }
    tell_operator(why);
  }
  throw CommandError::usage("--dut -: no device id in " + std::to_string(kDutAsks) +
                            " answers (the last: " + why + ")");
}

int check(Session& session, Output& out, const CheckArgs& args) {
  const auto run_start = std::chrono::steady_clock::now();
  Rules rules = default_rules(args.test);
  std::string limits_text;
  if (!args.limits.empty()) limits_text = apply_limits_file(rules, args.limits);
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
  CheckRun check(args, std::move(rules));
  Report report;
  report.dut = args.dut;
  report.station = args.station;
  report.operator_name = args.operator_name;
  report.host = host_name();
  report.tool_version = TAVIK_VERSION;
  report.library_version = TAVIK_VERSION;  // the libraries' layers are linked in
  report.retries = args.retries;
  if (!args.limits.empty()) {
    std::error_code ec;
    report.limits_file = std::filesystem::absolute(args.limits, ec).lexically_normal().string();
    report.limits_sha256 = text_sha256(limits_text);
  }
  if (args.dut == "-") report.dut = ask_dut(args, check);
  report.started = utc_now();
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
  if (stop_request == 0) stop_request = std::max(wait_for_stop(std::chrono::steady_clock::now()), 0);
  check.stop(stop_request);

  for (const Board board : {Board::kPsb, Board::kDrvb}) {
    const int i = board == Board::kPsb ? 0 : 1;
    if (connections[i] != nullptr && !reads[i].reading.empty())
      report.boards[board_name(board)] = board_figures(session, board, reads[i], *connections[i]);
  }
  if (stop_request > 0) report.aborted = stop_signal_name(stop_request);
  report.items = check.take_items();
  report.ended = utc_now();
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - run_start).count();
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
