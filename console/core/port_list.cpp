#include "console/core/port_list.h"

#include <algorithm>

namespace tavik::console {
namespace {

constexpr int kListedComPorts = 20;

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

PortList::PortList(const std::vector<SystemPort>& system, const std::string& last_used) {
  for (int n = 1; n <= kListedComPorts; ++n) {
    const std::string name = "COM" + std::to_string(n);
    entries_.push_back({name, name});
  }
  for (const SystemPort& port : system) {
    const int at = find(port.name);
    if (at < 0) {
      entries_.push_back({port.name, port.label.empty() ? port.name : port.label});
    } else if (!port.label.empty()) {
      entries_[static_cast<std::size_t>(at)].label = port.label;
    }
  }
  const std::string last = trimmed(last_used);
  if (!last.empty() && find(last) < 0) entries_.push_back({last, last});
}

int PortList::find(const std::string& name) const {
  const auto it =
      std::find_if(entries_.begin(), entries_.end(), [&](const SystemPort& e) { return e.name == name; });
  return it == entries_.end() ? -1 : static_cast<int>(it - entries_.begin());
}

std::string PortList::port_to_open(int selection, const std::string& typed) const {
  if (selection >= 0 && selection < static_cast<int>(entries_.size())) {
    return entries_[static_cast<std::size_t>(selection)].name;
  }
  const std::string text = trimmed(typed);
  if (text.empty()) return "COM" + std::to_string(selection + 1);
  const auto it =
      std::find_if(entries_.begin(), entries_.end(), [&](const SystemPort& e) { return e.label == text; });
  return it == entries_.end() ? text : it->name;
}

}  // namespace tavik::console
