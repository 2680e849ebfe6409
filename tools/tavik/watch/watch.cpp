// tavik watch [--rate HZ] [--duration S] [--csv FILE] [--mcap FILE] [--force]
//
// Polls both boards, or the one whose port opens, and streams every reading
// with the seconds since the start on the monotonic clock (the start itself
// is given once, as UTC): a table refreshed in place on a terminal, JSON
// lines with --json, plain lines otherwise, and CSV rows into a file or, for
// "-", standard output (the readings then go to standard error), and an
// MCAP recording (watch_mcap.h) the same way; with the wheel separation
// known, both with the wheel odometry of the encoder counts, one for the
// run (polled_odometry.h). A board
// whose device is lost goes on being polled: the connection reopens its port
// when the device returns. Ends after the duration, on a stop request (exit
// 128 + its number), when standard output goes away, or when the output or
// the recording cannot be written (exit 1), with the link figures.
//
// With --drive LEFT RIGHT --for S it also drives, on a thread of its own,
// as drvb drive does (the same checks before, the same drive loop, the stop
// at its end): a recording of a drive needs the drive in the process that
// holds the drive board's port. The drive starts with the first poll; a
// watch that ends before it, however it ends, stops it before anything else.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "board_diagnostics.h"
#include "bounded_output.h"
#include "commands.h"
#include "drive_checks.h"
#include "number_check.h"
#include "output_file.h"
#include "polled_odometry.h"
#include "process.h"
#include "utc_now.h"
#include "watch_csv.h"
#include "watch_mcap.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kLongestWatchS = 366 * 24 * 3600.0;

struct WatchArgs {
  double rate_hz = kDefaultPollRateHz;
  double duration_s = 0;  // 0: until a stop request
  std::string csv;
  std::string mcap;
  bool force = false;
  std::optional<double> wheel_separation_mm;
  std::vector<int> drive;  // LEFT RIGHT, or empty
  double drive_s = 0;
};

using recording::round_ms;

// The recording's diagnostics, as often as the bridge publishes them.
constexpr auto kDiagnosticsPeriod = std::chrono::seconds(1);

bool names_standard_output(const std::string& path) { return path == "-" || path == "/dev/stdout"; }

void announce_left_out(Output& out, const PolledBoard& w) {
  const CommandError& e = *w.left_out;
  if (out.json())
    out.record(Json{{"board", board_name(w.board)},
                    {"port", e.port},
                    {"watched", false},
                    {"reason", e.reason},
                    {"message", e.detail}});
  else
    out.line(std::string("watch: ") + board_name(w.board) + " at " + e.port + " not watched: " + e.detail);
}

Json read_board(DiagnosedBoard& w, double t, std::vector<Step>& steps) {
  if (w.connection == nullptr) return Json{{"reason", "not watched"}};
  Json reading = poll_board(w, t, steps);
  note_period(w, steps, t);
  return reading;
}

// Each board's diagnostics entry since the last.
Json diagnostics_of(DiagnosedBoard (&boards)[2]) {
  Json entries = Json::array();
  for (DiagnosedBoard& w : boards) entries.push_back(diagnostics_entry(w));
  return entries;
}

Json summary_of(const PolledBoard& w, double seconds) {
  if (w.left_out) return Json{{"watched", false}, {"reason", w.left_out->reason}};
  return w.figures.summary(seconds, late_replies(w));
}

std::string summary_text(const PolledBoard& w, double seconds) {
  return std::string(board_name(w.board)) + ": " +
         (w.left_out ? "not watched" : w.figures.text(seconds, late_replies(w)));
}

// The drive a watch carries, on a thread of its own from start() on; its
// checks (check_start) are the caller's, before anything is made.
class CarriedDrive {
 public:
  CarriedDrive(BoardConnection& connection, const DriveArgs& args) : connection_(connection), args_(args) {}

  void start() {
    before_ = read_counts(connection_);
    thread_ = std::jthread([this](std::stop_token cancel) {
      run_ = drive_for(connection_, args_.left, args_.right, args_.seconds, cancel);
    });
  }

  // Stops the drive, if it still runs, and waits for its stop to go out.
  DriveEnd end(const std::string& watch_ended) {
    if (thread_.joinable()) {
      thread_.request_stop();
      thread_.join();
    }
    if (run_.ended == kCalledOff)
      run_.ended = std::string(kCalledOff) + ": the watch ended (" + watch_ended + ")";
    const std::optional<WheelCounts> after =
        before_ && run_.stop.is_ok() ? read_counts(connection_) : std::nullopt;
    return drive_end(args_, run_, before_, after);
  }

 private:
  BoardConnection& connection_;
  DriveArgs args_;
  std::optional<WheelCounts> before_;
  DriveRun run_;         // written by the thread, read after it was joined
  std::jthread thread_;  // last: stopped and joined before the rest goes
};

std::string drive_text(const DriveEnd& end) {
  std::string text = "drive " + std::to_string(end.args.left) + "," + std::to_string(end.args.right) +
                     " mm/s: " + std::to_string(end.run.sent) + " velocity requests in " +
                     Json(static_cast<double>(end.run.driven.count()) / 1000).dump() + " s (" +
                     end.run.ended + ")";
  if (end.moved)
    text += ", counts " + std::to_string(end.moved->left) + "," + std::to_string(end.moved->right);
  return text + (end.run.stop.is_ok() ? ", stop sent" : ", stop not sent");
}

int watch(Session& session, Output& out, const WatchArgs& args) {
  if (names_standard_output(args.csv) && names_standard_output(args.mcap))
    throw CommandError::usage("--csv and --mcap cannot both go to standard output");
  if (!args.drive.empty() && args.drive.size() != 2)
    throw CommandError::usage("--drive: give LEFT and RIGHT, in mm/s");
  DiagnosedBoard boards[2] = {DiagnosedBoard(Board::kPsb), DiagnosedBoard(Board::kDrvb)};
  for (PolledBoard& w : boards) open_board(session, w);
  need_one_open(boards[0], boards[1]);
  std::optional<DriveArgs> drive_args;
  if (!args.drive.empty()) {
    if (boards[1].left_out) throw *boards[1].left_out;  // nothing to drive
    drive_args = DriveArgs{args.drive[0], args.drive[1], args.drive_s};
    check_start(session, *boards[1].connection, *drive_args);
  }
  std::optional<PolledOdometry> odometry;
  if (const auto separation = session.wheel_separation_mm(args.wheel_separation_mm))
    odometry.emplace(*separation);
  std::optional<OutputFile> csv;
  if (!args.csv.empty()) {
    csv.emplace(args.csv, args.force);
    if (csv->to_standard_output()) out.results_to_error();
    csv->write_line(csv_header(odometry.has_value()));
  }
  std::optional<WatchMcap> mcap;
  if (!args.mcap.empty()) {
    mcap.emplace(args.mcap, args.force, odometry.has_value());
    if (mcap->to_standard_output()) out.results_to_error();
  }
  // Made after the files, so that it is gone first, its stop sent, however the watch ends.
  std::optional<CarriedDrive> drive;
  if (drive_args) drive.emplace(*boards[1].connection, *drive_args);
  const bool recording_out = (csv && csv->to_standard_output()) || (mcap && mcap->to_standard_output());
  // A table in place needs a terminal of its own: not one a recording also goes to.
  const bool in_place =
      !out.json() && out.results_on_terminal() && !(recording_out && is_terminal(Stream::kOut));
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / args.rate_hz));
  const auto start = Clock::now();
  const auto end = args.duration_s > 0 ? start + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(args.duration_s))
                                       : Clock::time_point::max();
  const std::string started = utc_now();
  int polls = 0;
  int table_lines = 0;
  std::string ended = "duration";
  int stop_request = 0;
  if (out.json())
    out.record(Json{{"started", started}});
  else
    out.line("watch: started " + started);
  for (const PolledBoard& w : boards) {
    if (w.left_out) announce_left_out(out, w);
  }
  auto next_diagnostics = start + kDiagnosticsPeriod;
  int undiagnosed = 0;  // polls since the last diagnostics
  if (drive) drive->start();
  for (auto next = start; Clock::now() < end;) {
    const double t = round_ms(std::chrono::duration<double>(Clock::now() - start).count());
    Json readings[2];
    std::optional<odometry::Step> moved;  // what the drive board's reading did to the odometry
    for (std::size_t i = 0; i < 2; ++i) {
      const auto taken = std::chrono::system_clock::now();
      std::vector<Step> steps;
      readings[i] = read_board(boards[i], t, steps);
      if (boards[i].connection == nullptr) continue;
      if (mcap) mcap->add(boards[i].board, readings[i], taken, t);
      if (boards[i].board != Board::kDrvb || !odometry) continue;
      moved = odometry->add(readings[i], steps, t);
      if (mcap && (moved == odometry::Step::kFirst || moved == odometry::Step::kMoved))
        mcap->add_odometry(odometry->odometry().pose(), taken);
    }
    const std::string started_cell = polls == 0 ? started : "";
    if (csv && odometry)
      csv->write_line(csv_row(t, readings[0], readings[1],
                              moved ? std::optional(odometry->cells()) : std::nullopt, started_cell));
    else if (csv)
      csv->write_line(csv_row(t, readings[0], readings[1], started_cell));
    ++polls;
    ++undiagnosed;
    if (mcap && Clock::now() >= next_diagnostics) {
      mcap->add_diagnostics(diagnostics_of(boards), std::chrono::system_clock::now());
      next_diagnostics += kDiagnosticsPeriod;
      undiagnosed = 0;
    }
    if (out.json()) {
      for (std::size_t i = 0; i < 2; ++i) {
        if (boards[i].left_out) continue;
        Json record{{"t", t}, {"board", board_name(boards[i].board)}};
        record.update(readings[i]);
        out.record(record);
      }
    } else {
      char head[48];
      std::snprintf(head, sizeof head, "t: %.3f s\n", t);
      Json both = Json::object();
      for (std::size_t i = 0; i < 2; ++i) {
        if (!boards[i].left_out) both[board_name(boards[i].board)] = readings[i];
      }
      const std::string text = head + as_text(both);
      // Back over the last table and clear to the end of the screen.
      if (in_place && table_lines > 0) out.raw("\033[" + std::to_string(table_lines) + "A\033[J");
      out.raw(text + (in_place ? "" : "\n"));
      table_lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    if (!out.failure().empty() || (csv && !csv->failure().empty()) || (mcap && !mcap->failure().empty())) {
      ended = "write failed";
      break;
    }
    if (output_closed() || (csv && csv->closed()) || (mcap && mcap->closed())) {
      ended = stop_signal_name(kOutputClosed);
      break;
    }
    next += period;
    if (const int sig = wait_for_stop(std::min(next, end)); sig != 0) {
      ended = stop_signal_name(sig);
      stop_request = sig;
      break;
    }
  }
  // The robot stops first, then the rest.
  std::optional<DriveEnd> drove;
  if (drive) drove = drive->end(ended);
  // The recordings are put in place however the watch ended, but for a write that failed.
  if (csv && csv->failure().empty()) csv->finish();
  if (mcap && mcap->failure().empty()) {
    if (undiagnosed > 0) mcap->add_diagnostics(diagnostics_of(boards), std::chrono::system_clock::now());
    mcap->finish();
  }
  const double seconds = round_ms(std::chrono::duration<double>(Clock::now() - start).count());
  if (out.json()) {
    Json summary{{"seconds", seconds},
                 {"polls", polls},
                 {"ended", ended},
                 {"psb", summary_of(boards[0], seconds)},
                 {"drvb", summary_of(boards[1], seconds)}};
    if (drove) summary["drive"] = drive_record(*drove);
    out.record(Json{{"summary", summary}});
  } else {
    out.line("watch: " + std::to_string(polls) + (polls == 1 ? " poll" : " polls") + " in " +
             Json(seconds).dump() + " s (" + ended + "); " + summary_text(boards[0], seconds) + "; " +
             summary_text(boards[1], seconds));
    if (drove) out.line("watch: " + drive_text(*drove));
  }
  for (const std::string* failure : {csv ? &csv->failure() : nullptr, mcap ? &mcap->failure() : nullptr}) {
    if (failure != nullptr && !failure->empty())
      throw CommandError(kExitCommandFailed, reason::kWriteFailed, "", std::nullopt, "", *failure);
  }
  // A drive that failed fails the watch, as it fails drvb drive.
  if (drove) {
    const int drive_status = drive_exit(session, *drove);
    if (stop_request == 0) return drive_status;
  }
  return stop_exit_code(stop_request);
}

}  // namespace

void add_watch_command(CLI::App& app, Runner& run) {
  auto args = std::make_shared<WatchArgs>();
  CLI::App* command = app.add_subcommand(
      "watch", "Poll both boards (or the one that is there) and stream the readings and link figures");
  add_number(*command, "--rate", args->rate_hz, "polls per second (0.1 to 50, default 5)",
             {.least = 0.1, .most = 50.0, .unit = "polls per second"});
  add_number(*command, "--duration", args->duration_s, "seconds to watch (default: until Ctrl-C)",
             {.least = 0,
              .most = kLongestWatchS,
              .unit = "seconds (leave it out to watch until Ctrl-C)",
              .least_excluded = true});
  command->add_option(
      "--csv", args->csv,
      "also write every poll as a CSV row to FILE, a new file (put in place when the watch ends); - "
      "for standard output (the readings then go to standard error)");
  command->add_option("--mcap", args->mcap,
                      "also record every poll in MCAP (Foxglove, PlotJuggler) to FILE, a new file (put in "
                      "place when the watch ends); - for standard output");
  command->add_flag("--force", args->force, "let --csv and --mcap write over an existing FILE");
  add_wheel_separation_option(*command, args->wheel_separation_mm,
                              "the odometry --csv (odom_ columns) and --mcap (/odom, /tf) record");
  NumberRule velocity{};
  velocity.whole = true;
  CLI::Option* drive =
      command
          ->add_option("--drive", args->drive,
                       "also drive at LEFT RIGHT mm/s from the start, as drvb drive does (its checks before, "
                       "the stop at its end or when the watch ends), to record a drive")
          ->expected(2)
          ->type_name("MM_S")
          ->transform(decimal_number(velocity));
  add_number(*command, "--for", args->drive_s, "seconds of the --drive, above 0 and up to 10",
             {.least = 0.0, .most = kLongestDriveS, .unit = "seconds", .least_excluded = true})
      ->needs(drive);
  drive->needs("--for");
  command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return watch(session, out, *args); }; });
}

}  // namespace tavik::cli
