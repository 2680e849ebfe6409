// tavik watch [--rate HZ] [--duration S] [--csv FILE]
//
// Polls both boards and streams every reading with the seconds since the
// start on the monotonic clock (the start itself is given once, as UTC): a
// table refreshed in place on a terminal, JSON lines with --json, plain lines
// otherwise, and CSV rows into a file. A board whose device is lost goes on
// being polled: the connection reopens its port when the device returns.
// Ends after the duration, on a stop request or when standard output goes
// away, with the link figures.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include "board_readings.h"
#include "commands.h"
#include "link_figures.h"
#include "number_check.h"
#include "platform.h"
#include "watch_csv.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kLongestWatchS = 366 * 24 * 3600.0;

struct WatchArgs {
  double rate_hz = 5;
  double duration_s = 0;  // 0: until a stop request
  std::string csv;
};

std::string utc_now() { return recording::utc_text(std::chrono::system_clock::now()); }

using recording::round_ms;

// Marks a reading with the steps that failed, by step name, and a reason:
// "device lost" when every failed step says so, else "step: why; ...".
void mark_failures(Json& reading, const std::vector<Step>& steps) {
  Json failed = Json::object();
  recording::FailureReasons reasons;
  for (const Step& step : steps) {
    if (step.result.is_ok()) continue;
    const std::string why = describe(step.result);
    failed[step.name] = why;
    reasons.add(step.name, why);
  }
  if (failed.empty()) return;
  reading["failed"] = failed;
  reading["reason"] = reasons.text();
}

// One line per field of both readings, under the time.
std::string table(double t, const Json& psb, const Json& drvb) {
  char head[48];
  std::snprintf(head, sizeof head, "t: %.3f s\n", t);
  return head + as_text(Json{{"psb", psb}, {"drvb", drvb}});
}

int watch(Session& session, Output& out, const WatchArgs& args) {
  BoardConnection& psb = session.open(Board::kPsb);
  BoardConnection& drvb = session.open(Board::kDrvb);
  const std::string started = utc_now();
  std::ofstream csv_file;
  if (!args.csv.empty()) {
    csv_file.open(args.csv);
    if (!csv_file) {
      throw CommandError(kExitUsage, reason::kFileNotWritable, "", std::nullopt, "",
                         "cannot write the CSV file " + args.csv);
    }
    csv_file << csv_header(started) << '\n';
  }
  const bool in_place = !out.json() && stdout_is_terminal();
  LinkFigures psb_figures, drvb_figures;
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / args.rate_hz));
  const auto start = Clock::now();
  const auto end = args.duration_s > 0 ? start + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(args.duration_s))
                                       : Clock::time_point::max();
  int polls = 0;
  int table_lines = 0;
  std::string ended = "duration";
  if (out.json())
    out.record(Json{{"started", started}});
  else
    out.line("watch: started " + started);
  for (auto next = start; Clock::now() < end;) {
    const double t = round_ms(std::chrono::duration<double>(Clock::now() - start).count());
    std::vector<Step> psb_steps, drvb_steps;
    Json psb_reading = read_psb(psb, psb_steps);
    Json drvb_reading = read_drvb(drvb, drvb_steps);
    psb_figures.add(psb_steps, t);
    drvb_figures.add(drvb_steps, t);
    ++polls;
    mark_failures(psb_reading, psb_steps);
    mark_failures(drvb_reading, drvb_steps);
    if (csv_file.is_open()) csv_file << csv_row(t, psb_reading, drvb_reading) << '\n' << std::flush;
    if (out.json()) {
      for (auto& [board, reading] : {std::pair{"psb", &psb_reading}, std::pair{"drvb", &drvb_reading}}) {
        Json record{{"t", t}, {"board", board}};
        record.update(*reading);
        out.record(record);
      }
    } else {
      const std::string text = table(t, psb_reading, drvb_reading);
      // Back over the last table and clear to the end of the screen.
      if (in_place && table_lines > 0) out.raw("\033[" + std::to_string(table_lines) + "A\033[J");
      out.raw(text + (in_place ? "" : "\n"));
      table_lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    if (output_closed()) {
      ended = stop_signal_name(kOutputClosed);
      break;
    }
    next += period;
    if (const int sig = wait_for_stop(std::min(next, end)); sig != 0) {
      ended = stop_signal_name(sig);
      break;
    }
  }
  const double seconds = round_ms(std::chrono::duration<double>(Clock::now() - start).count());
  if (out.json()) {
    out.record(Json{{"summary",
                     {{"seconds", seconds},
                      {"polls", polls},
                      {"ended", ended},
                      {"psb", psb_figures.summary(seconds)},
                      {"drvb", drvb_figures.summary(seconds)}}}});
  } else {
    out.line("watch: " + std::to_string(polls) + (polls == 1 ? " poll" : " polls") + " in " +
             Json(seconds).dump() + " s (" + ended + "); psb: " + psb_figures.text(seconds) +
             "; drvb: " + drvb_figures.text(seconds));
  }
  return kExitOk;
}

}  // namespace

void add_watch_command(CLI::App& app, Runner& run) {
  auto args = std::make_shared<WatchArgs>();
  CLI::App* command =
      app.add_subcommand("watch", "Poll both boards and stream the readings and link figures");
  add_number(*command, "--rate", args->rate_hz, "polls per second (0.1 to 50, default 5)",
             {.least = 0.1, .most = 50.0, .unit = "polls per second"});
  add_number(*command, "--duration", args->duration_s, "seconds to watch (default: until Ctrl-C)",
             {.least = 0,
              .most = kLongestWatchS,
              .unit = "seconds (leave it out to watch until Ctrl-C)",
              .least_excluded = true});
  command->add_option("--csv", args->csv, "also write every poll as a CSV row to FILE");
  command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return watch(session, out, *args); }; });
}

}  // namespace tavik::cli
