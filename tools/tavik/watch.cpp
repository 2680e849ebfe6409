// tavik watch [--rate HZ] [--duration S] [--csv FILE]
//
// Polls both boards and streams every reading with the seconds since the
// start on the monotonic clock: a table refreshed in place on a terminal,
// JSON lines with --json, plain lines otherwise, and CSV rows into a file.
// Ends after the duration or on a stop request with the link figures.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include "board_readings.h"
#include "commands.h"
#include "link_figures.h"
#include "stop_signals.h"
#include "watch_csv.h"

namespace tavik::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct WatchArgs {
  double rate_hz = 5;
  double duration_s = 0;  // 0: until a stop request
  std::string csv;
};

double round_ms(double seconds) {
  return static_cast<double>(static_cast<long long>(seconds * 1000 + 0.5)) / 1000;
}

// The steps that failed in this reading, by step name.
Json failed_steps(const std::vector<Step>& steps) {
  Json failed = Json::object();
  for (const Step& step : steps) {
    if (!step.result.is_ok()) failed[step.name] = describe(step.result);
  }
  return failed;
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
  std::ofstream csv_file;
  if (!args.csv.empty()) {
    csv_file.open(args.csv);
    if (!csv_file) {
      out.usage_error("cannot write the CSV file " + args.csv);
      return kExitUsage;
    }
    csv_file << csv_header() << '\n';
  }
  const bool in_place = !out.json() && ::isatty(STDOUT_FILENO) != 0;
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
  for (auto next = start; Clock::now() < end;) {
    const double t = round_ms(std::chrono::duration<double>(Clock::now() - start).count());
    std::vector<Step> psb_steps, drvb_steps;
    Json psb_reading = read_psb(psb, psb_steps);
    Json drvb_reading = read_drvb(drvb, drvb_steps);
    psb_figures.add(psb_steps);
    drvb_figures.add(drvb_steps);
    ++polls;
    if (Json failed = failed_steps(psb_steps); !failed.empty()) psb_reading["failed"] = failed;
    if (Json failed = failed_steps(drvb_steps); !failed.empty()) drvb_reading["failed"] = failed;
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
                      {"psb", psb_figures.summary()},
                      {"drvb", drvb_figures.summary()}}}});
  } else {
    out.line("watch: " + std::to_string(polls) + " polls in " + Json(seconds).dump() + " s (" + ended +
             "); psb: " + psb_figures.text() + "; drvb: " + drvb_figures.text());
  }
  return kExitOk;
}

}  // namespace

void add_watch_command(CLI::App& app, Runner& run) {
  auto args = std::make_shared<WatchArgs>();
  CLI::App* command =
      app.add_subcommand("watch", "Poll both boards and stream the readings and link figures");
  command->add_option("--rate", args->rate_hz, "polls per second (0.1 to 50, default 5)")
      ->check(CLI::Range(0.1, 50.0));
  command->add_option("--duration", args->duration_s, "seconds to watch (default: until Ctrl-C)")
      ->check(CLI::NonNegativeNumber);
  command->add_option("--csv", args->csv, "also write every poll as a CSV row to FILE");
  command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return watch(session, out, *args); }; });
}

}  // namespace tavik::cli
