#include "console/core/console_options.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace tavik::console {
namespace {

struct OptionRow {
  unsigned bit;  // 0: every view's
  std::string_view name;
  std::string_view value;  // the value's name; empty for none
  // What it does, its lines apart by '\n'; empty for --help, which the
  // usage line names alone.
  std::string_view help;
};

constexpr OptionRow kOptions[] = {
    {kSimulateOption, "--simulate", "", "run both boards simulated: PSB as COM7, DRVB as COM8"},
    {kScreenshotOption, "--screenshot", "FILE",
     "save a picture of the window to FILE as it closes (and of the Trends\n"
     "window, when open, to NAME-trends.EXT beside it)"},
    {kPrintLayoutOption, "--print-layout", "",
     "print each control's ID, x, y, width and height in pixels, and the\n"
     "window's client area as \"window 0 0 WIDTH HEIGHT\", then exit"},
    {kLayoutOption, "--layout", "FILE",
     "write each control's ID, x, y, width and height in screen pixels to FILE"},
    {0, "--version", "", "print the version, then exit"},
    {0, "--help", "", ""},
};

constexpr std::string_view kProgram = "tavik-v1-basic";

bool offered(const OptionRow& row, const ConsoleCommandLine& line) {
  return row.bit == 0 || (line.offered & row.bit) != 0;
}

std::string with_value(const OptionRow& row) {
  std::string text(row.name);
  if (!row.value.empty()) text.append(" ").append(row.value);
  return text;
}

}  // namespace

std::string console_usage(const ConsoleCommandLine& line) {
  std::string text = "usage: " + std::string(kProgram);
  std::size_t column = 0;
  for (const OptionRow& row : kOptions) {
    if (!offered(row, line)) continue;
    text += " [" + with_value(row) + "]";
    if (!row.help.empty()) column = std::max(column, with_value(row).size() + 2);
  }
  text += "\n";
  for (const OptionRow& row : kOptions) {
    if (!offered(row, line) || row.help.empty()) continue;
    std::string first = with_value(row);
    first.resize(column, ' ');
    std::string_view help = row.help;
    std::string indent = "  " + first;
    for (std::size_t end; (end = help.find('\n')) != std::string_view::npos; help.remove_prefix(end + 1)) {
      text += indent;
      text.append(help.substr(0, end)).append("\n");
      indent.assign(column + 2, ' ');
    }
    text += indent;
    text.append(help).append("\n");
  }
  return text;
}

std::variant<ConsoleOptions, std::string> parse_console_options(std::span<const char* const> args,
                                                                const ConsoleCommandLine& line) {
  ConsoleOptions options;
  const auto error = [&](const std::string& why) {
    return std::string(kProgram) + ": " + why + "\n" + console_usage(line);
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--version") {
      options.action = ConsoleOptions::Action::kVersion;
      return options;
    }
    if (arg == "--help" || arg == "-h") {
      options.action = ConsoleOptions::Action::kHelp;
      return options;
    }
    const auto row = std::find_if(std::begin(kOptions), std::end(kOptions),
                                  [&](const OptionRow& r) { return r.name == arg && offered(r, line); });
    if (row == std::end(kOptions)) {
      if (line.toolkit_arguments && !arg.starts_with("--")) continue;
      return error("unknown option " + std::string(arg));
    }
    std::string value;
    if (!row->value.empty()) {
      if (i + 1 == args.size()) return error(std::string(row->name) + " needs a file name");
      value = args[++i];
    }
    switch (row->bit) {
      case kSimulateOption:
        options.simulate = true;
        break;
      case kScreenshotOption:
        options.screenshot = value;
        break;
      case kPrintLayoutOption:
        options.print_layout = true;
        break;
      case kLayoutOption:
        options.layout = value;
        break;
      default:
        break;
    }
  }
  return options;
}

std::variant<ConsoleOptions, std::string> parse_console_options(int argc, const char* const* argv,
                                                                const ConsoleCommandLine& line) {
  if (argc < 1) return ConsoleOptions{};
  return parse_console_options(std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)),
                               line);
}

std::optional<int> answer_without_window(const ConsoleOptions& options, const ConsoleCommandLine& line,
                                         std::string_view version) {
  switch (options.action) {
    case ConsoleOptions::Action::kVersion:
      std::printf("%.*s\n", static_cast<int>(version.size()), version.data());
      return 0;
    case ConsoleOptions::Action::kHelp:
      std::fputs(console_usage(line).c_str(), stdout);
      return 0;
    case ConsoleOptions::Action::kRun:
      break;
  }
  return std::nullopt;
}

}  // namespace tavik::console
