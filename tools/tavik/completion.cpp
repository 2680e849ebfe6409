#include "completion.h"

#include <algorithm>

#include "serial/names/port_map.h"
#include "serial/ports/port_list.h"

namespace tavik::cli {
namespace {

bool begins(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

const CLI::App* subcommand(const CLI::App& app, const std::string& name) {
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (sub->get_name() == name) return sub;
  }
  return nullptr;
}

// An option of the command or of a command above it (the global options
// are taken anywhere).
const CLI::Option* option(const std::vector<const CLI::App*>& chain, const std::string& name) {
  for (auto app = chain.rbegin(); app != chain.rend(); ++app) {
    if (const CLI::Option* opt = (*app)->get_option_no_throw(name)) return opt;
  }
  return nullptr;
}

// The words an option or argument takes when it takes only some: CLI11
// names them in its type, "TEXT:{on,off}" (or "{drive->0,...}" for a map).
std::vector<std::string> members(const CLI::Option& opt) {
  const std::string type = opt.get_type_name();
  const auto open = type.find('{');
  const auto close = type.find('}', open);
  std::vector<std::string> out;
  if (open == std::string::npos || close == std::string::npos) return out;
  std::stringstream list(type.substr(open + 1, close - open - 1));
  for (std::string item; std::getline(list, item, ',');) out.push_back(item.substr(0, item.find("->")));
  return out;
}

// What a port option takes: the machine's serial ports by every name, the
// COM names of the ports file, and the network schemes.
std::vector<std::string> port_names() {
  std::vector<std::string> out;
  for (const PortName& port : list_serial_ports()) out.push_back(port.name);
  for (const PortMapping& mapping : read_port_map()) out.push_back(mapping.name);
  out.push_back("tcp://");
  out.push_back("rfc2217://");
  return out;
}

}  // namespace

std::vector<std::string> complete(const CLI::App& app, const std::vector<std::string>& words) {
  std::vector<const CLI::App*> chain{&app};
  const CLI::Option* value_of = nullptr;
  std::size_t positional = 0;
  for (std::size_t i = 0; i + 1 < words.size(); ++i) {
    const std::string& word = words[i];
    if (value_of != nullptr) {
      value_of = nullptr;
    } else if (begins(word, "-")) {
      const CLI::Option* opt = option(chain, word.substr(0, word.find('=')));
      if (opt != nullptr && opt->get_items_expected_max() > 0 && word.find('=') == std::string::npos)
        value_of = opt;
    } else if (const CLI::App* sub = subcommand(*chain.back(), word)) {
      chain.push_back(sub);
      positional = 0;
    } else {
      ++positional;
    }
  }
  const std::string last = words.empty() ? "" : words.back();
  std::vector<std::string> candidates;
  if (value_of != nullptr) {
    candidates = value_of->get_type_name() == kPortType ? port_names() : members(*value_of);
  } else if (begins(last, "-")) {
    for (const CLI::App* at : chain) {
      for (const CLI::Option* opt : at->get_options()) {
        for (const std::string& name : opt->get_lnames()) candidates.push_back("--" + name);
        for (const std::string& name : opt->get_snames()) candidates.push_back("-" + name);
      }
    }
  } else if (!chain.back()->get_subcommands([](const CLI::App*) { return true; }).empty()) {
    for (const CLI::App* sub : chain.back()->get_subcommands([](const CLI::App*) { return true; }))
      candidates.push_back(sub->get_name());
  } else {
    std::vector<const CLI::Option*> arguments =
        chain.back()->get_options([](const CLI::Option* opt) { return opt->get_positional(); });
    if (!arguments.empty()) candidates = members(*arguments[std::min(positional, arguments.size() - 1)]);
  }
  // Each once (--help is every command's own option), in their order.
  std::vector<std::string> out;
  for (const std::string& candidate : candidates) {
    if (begins(candidate, last) && std::find(out.begin(), out.end(), candidate) == out.end())
      out.push_back(candidate);
  }
  return out;
}

}  // namespace tavik::cli
