// tavik drvb param save FILE [--force] | restore FILE
//
// save writes the three drive parameters, as the board gives them, to a JSON
// file; restore checks the whole file first (names, whole numbers, the
// board's ranges) and writes nothing when an entry is wrong, then writes
// each and reads it back: a value the board does not give back fails.
#include <memory>

#include "board_readings.h"
#include "commands.h"
#include "drvb/drvb_commands.h"
#include "json_file.h"
#include "output_file.h"
#include "parameters.h"
#include "tavik_version.h"
#include "utc_now.h"

namespace tavik::cli {
namespace {

struct FileArgs {
  std::string path;
  bool force = false;
};

int save(Session& session, Output& out, const FileArgs& args) {
  // Made before the board is asked anything: a file that cannot be written fails at once.
  OutputFile file(args.path, args.force, "parameter file");
  BoardConnection& connection = session.open(Board::kDrvb);
  Json values = Json::object();
  for (const Parameter& p : kParameters) {
    int value = 0;
    session.check(drvb::read_parameter(connection, p.id, &value), std::string("read ") + p.name,
                  Board::kDrvb);
    values[p.name] = value;
  }
  Json backup = board_header(session, Board::kDrvb);
  backup.update(Json{{"saved", utc_now()}, {"tool_version", TAVIK_VERSION}, {"parameters", values}});
  if ((!file.write_line(backup.dump(2)) || !file.finish()) && !file.failure().empty())
    throw CommandError(kExitCommandFailed, reason::kWriteFailed, "", std::nullopt, "", file.failure());
  if (file.to_standard_output()) return kExitOk;
  Json record = board_header(session, Board::kDrvb);
  record.update(Json{{"saved", args.path}, {"parameters", values}});
  out.record(record);
  return kExitOk;
}

CommandError bad_file(const std::string& path, const std::string& what) {
  return CommandError::usage("restore " + path + ": " + what);
}

// The file's parameters by name, each checked; throws a usage error naming
// the first wrong entry.
Json read_backup(const std::string& path) {
  const Json backup = read_json_file("restore", path);
  if (!backup.is_object() || !backup.contains("parameters") || !backup.at("parameters").is_object() ||
      backup.at("parameters").empty())
    throw bad_file(path, "no \"parameters\" object (drvb param save writes one)");
  if (backup.contains("board") && backup.at("board") != "drvb")
    throw bad_file(path, "a backup of the board " + backup.at("board").dump() + ", not the drive board");
  for (const auto& [name, value] : backup.at("parameters").items()) {
    const Parameter* p = find_parameter(name);
    if (p == nullptr)
      throw bad_file(path, "unknown parameter '" + name + "' (max-velocity, comm-timeout or control-period)");
    if (!value.is_number_integer())
      throw bad_file(path, name + ": " + value.dump() + " is not a whole number");
    if (const std::string wrong = out_of_range(*p, value.get<long long>()); !wrong.empty())
      throw bad_file(path, name + ": " + wrong);
  }
  return backup.at("parameters");
}

int restore(Session& session, Output& out, const FileArgs& args) {
  const Json values = read_backup(args.path);
  BoardConnection& connection = session.open(Board::kDrvb);
  for (const Parameter& p : kParameters) {
    if (values.contains(p.name))
      session.check(drvb::set_parameter(connection, p.id, values.at(p.name).get<int>()),
                    std::string("write ") + p.name, Board::kDrvb);
  }
  std::string differ;
  Json read_back = Json::object();
  for (const Parameter& p : kParameters) {
    if (!values.contains(p.name)) continue;
    int value = 0;
    session.check(drvb::read_parameter(connection, p.id, &value), std::string("read back ") + p.name,
                  Board::kDrvb);
    read_back[p.name] = value;
    if (value != values.at(p.name).get<int>())
      differ += (differ.empty() ? "" : ", ") + std::string(p.name) + " written " + values.at(p.name).dump() +
                ", read back " + std::to_string(value);
  }
  Json record = board_header(session, Board::kDrvb);
  record.update(Json{{"restored", args.path}, {"parameters", read_back}});
  out.record(record);
  if (!differ.empty())
    throw CommandError(kExitCommandFailed, reason::kReadBackDiffers, "restore", Board::kDrvb,
                       session.port(Board::kDrvb), "the board gives back other values: " + differ);
  return kExitOk;
}

}  // namespace

void add_param_file_commands(CLI::App& param, Runner& run) {
  auto args = std::make_shared<FileArgs>();
  CLI::App* save_command =
      param.add_subcommand("save", "Write the three parameters, as the board gives them, to a JSON file");
  save_command->add_option("FILE", args->path, "a new file; - for standard output")->required();
  save_command->add_flag("--force", args->force, "write over an existing FILE");
  save_command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return save(session, out, *args); }; });
  CLI::App* restore_command =
      param.add_subcommand("restore", "Write the parameters of a file that save wrote, and read each back");
  restore_command->add_option("FILE", args->path, "a file that drvb param save wrote")->required();
  restore_command->callback(
      [&run, args] { run = [args](Session& session, Output& out) { return restore(session, out, *args); }; });
}

}  // namespace tavik::cli
