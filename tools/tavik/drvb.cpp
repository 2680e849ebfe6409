// tavik drvb status | servo on|off | reset-errors | stop | param get|set NAME [VALUE]
// (drive is in drive.cpp).
#include <memory>

#include "board_readings.h"
#include "commands.h"
#include "drive_loop.h"
#include "drvb/drvb_commands.h"
#include "facts/drvb_facts.h"
#include "number_check.h"
#include "parameters.h"

namespace tavik::cli {
namespace {

// "max-velocity (mm/s), comm-timeout (ms) or control-period (ms)" and
// "max-velocity 0..2000, ...".
std::string parameter_list(bool limits) {
  std::string text;
  for (std::size_t k = 0; k < std::size(kParameters); ++k) {
    const Parameter& p = kParameters[k];
    if (k > 0) text += k + 1 == std::size(kParameters) && !limits ? " or " : ", ";
    text += p.name;
    text += limits ? " " + std::to_string(p.least) + ".." + std::to_string(p.most)
                   : std::string(" (") + p.unit + ")";
  }
  return text;
}

// A command that sends one request and prints the header and `fields`.
void add_simple(CLI::App& drvb, Runner& run, const char* name, const char* help, const char* step,
                std::function<Result(BoardConnection&)> command, Json fields) {
  drvb.add_subcommand(name, help)->callback([&run, step, command, fields] {
    run = [step, command, fields](Session& session, Output& out) {
      BoardConnection& connection = session.open(Board::kDrvb);
      session.check(command(connection), step, Board::kDrvb);
      Json record = board_header(session, Board::kDrvb);
      record.update(fields);
      out.record(record);
      return kExitOk;
    };
  });
}

}  // namespace

void add_drvb_commands(CLI::App& app, Runner& run) {
  CLI::App* drvb = app.add_subcommand("drvb", "The drive board")->require_subcommand(0, 1);

  drvb->add_subcommand("status", "Encoders, bumpers, emergency stop and wheel errors")->callback([&run] {
    run = [](Session& session, Output& out) { return print_status(session, out, Board::kDrvb); };
  });

  CLI::App* servo =
      drvb->add_subcommand("servo", "Switch the wheel servo on or off")->require_subcommand(0, 1);
  add_simple(*servo, run, "on", "Servo on", "switch the servo on",
             [](BoardConnection& c) { return drvb::set_servo(c, 1); }, {{"servo", "on"}});
  add_simple(*servo, run, "off", "Servo off", "switch the servo off",
             [](BoardConnection& c) { return drvb::set_servo(c, 0); }, {{"servo", "off"}});
  add_simple(*drvb, run, "reset-errors", "Clear the wheel drive errors", "reset the wheel errors",
             [](BoardConnection& c) { return drvb::set_drive_err_reset(c); }, {{"wheel_errors", "reset"}});
  // Also for a program that drove and ended without its stop (the bridge's unit after it).
  add_simple(*drvb, run, "stop", "Send the stop (0,0), a few tries; nothing else is read or checked",
             "send the stop (0,0)", [](BoardConnection& c) { return send_stop(c); }, {{"stop_sent", true}});

  struct ParamArgs {
    std::string name;
    int value = 0;
  };
  auto args = std::make_shared<ParamArgs>();
  std::vector<std::string> names;
  for (const Parameter& p : kParameters) names.push_back(p.name);
  CLI::App* param =
      drvb->add_subcommand("param", "Read or write a drive parameter")->require_subcommand(0, 1);
  const std::string name_help = parameter_list(false);

  CLI::App* get = param->add_subcommand("get", "Read a parameter");
  get->add_option("NAME", args->name, name_help)->required()->check(CLI::IsMember(names));
  get->callback([&run, args] {
    run = [args](Session& session, Output& out) {
      const Parameter& p = *find_parameter(args->name);
      BoardConnection& connection = session.open(Board::kDrvb);
      int value = 0;
      session.check(drvb::read_parameter(connection, p.id, &value), "read " + args->name, Board::kDrvb);
      Json record = board_header(session, Board::kDrvb);
      record.update(Json{{"parameter", p.name}, {"value", value}, {"unit", p.unit}});
      out.record(record);
      return kExitOk;
    };
  });

  CLI::App* set = param->add_subcommand("set", "Write a parameter and store it on the board");
  set->add_option("NAME", args->name, name_help)->required()->check(CLI::IsMember(names));
  add_number(*set, "VALUE", args->value, parameter_list(true))->required();
  set->callback([&run, args] {
    if (const std::string wrong = out_of_range(*find_parameter(args->name), args->value); !wrong.empty())
      throw CLI::ValidationError("VALUE", wrong);
    run = [args](Session& session, Output& out) {
      const Parameter& p = *find_parameter(args->name);
      BoardConnection& connection = session.open(Board::kDrvb);
      session.check(drvb::set_parameter(connection, p.id, args->value), "write " + args->name, Board::kDrvb);
      Json record = board_header(session, Board::kDrvb);
      record.update(Json{{"parameter", p.name}, {"value", args->value}, {"unit", p.unit}});
      out.record(record);
      return kExitOk;
    };
  });

  add_param_file_commands(*param, run);
  add_drive_command(*drvb, run);
}

}  // namespace tavik::cli
