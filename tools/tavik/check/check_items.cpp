#include "check_items.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "json_file.h"
#include "recording/recording_csv.h"

namespace tavik::cli {
namespace {

using recording::kPsbDevices;
using recording::kRangePlaces;

// The longest round trip of a healthy link; an exchange takes a few
// milliseconds at 115200 baud.
constexpr double kLinkHighMs = 20;
constexpr double kBatteryLowV = 11.5;
constexpr double kBatteryHighV = 14.4;
constexpr double kCurrentHighA = 5.0;
// A range below this is no echo or a fault; above the largest maximum
// distance the board can be set to (5.5 m) is none either.
constexpr double kRangeLowM = 0.05;
constexpr double kRangeHighM = 5.5;

ItemRule measure(std::string name, std::string unit, std::optional<double> low, std::optional<double> high) {
  return {std::move(name), ItemKind::kMeasure, std::move(unit), {low, high, std::nullopt}, {}, nullptr};
}

// A measure that cannot be below 0.
ItemRule non_negative(std::string name, std::string unit, std::optional<double> low,
                      std::optional<double> high) {
  ItemRule rule = measure(std::move(name), std::move(unit), low, high);
  rule.never_negative = true;
  return rule;
}

ItemRule fixed(std::string name) { return {std::move(name), ItemKind::kFixed, "", {}, {}, nullptr}; }

CommandError bad_limit(const std::string& path, const std::string& what) {
  return CommandError::usage("--limits " + path + ": " + what);
}

std::optional<double> number_of(const Json& value, const std::string& path, const std::string& where) {
  if (value.is_null()) return std::nullopt;  // no bound
  if (!value.is_number() || !std::isfinite(value.get<double>()))
    throw bad_limit(path, where + " must be a number (or null for none), not " + value.dump());
  return value.get<double>();
}

void apply_one(ItemRule& rule, const Json& limits, const std::string& path) {
  if (!limits.is_object())
    throw bad_limit(path, rule.name + ": the limits must be an object such as {\"low\": 1, \"high\": 2}");
  if (rule.kind == ItemKind::kFixed)
    throw bad_limit(path, rule.name + " takes no limits: it must always read " +
                              (rule.name.rfind("wheel_error", 0) == 0 ? "0x00" : "released"));
  for (const auto& [key, value] : limits.items()) {
    const std::string where = rule.name + "." + key;
    if (rule.kind == ItemKind::kMeasure && (key == "low" || key == "high")) {
      const std::optional<double> bound = number_of(value, path, where);
      if (bound && rule.never_negative && *bound < 0)
        throw bad_limit(path, where + " must not be negative, not " + value.dump());
      (key == "low" ? rule.limit.low : rule.limit.high) = bound;
    } else if (rule.kind == ItemKind::kMeasure && key == "expected" && rule.parameter != nullptr) {
      if (!value.is_number_integer())
        throw bad_limit(path, where + " must be a whole number, not " + value.dump());
      if (const std::string wrong = out_of_range(*rule.parameter, value.get<long long>()); !wrong.empty())
        throw bad_limit(path, where + ": " + wrong);
      rule.limit.low = rule.limit.high = value.get<double>();
    } else if (rule.kind == ItemKind::kState && key == "expected") {
      if (!value.is_string() ||
          std::find(rule.states.begin(), rule.states.end(), value.get<std::string>()) == rule.states.end())
        throw bad_limit(path, where + " must be \"on\" or \"off\", not " + value.dump());
      rule.limit.expected = value.get<std::string>();
    } else {
      throw bad_limit(path, where + ": unknown limit (" +
                                (rule.kind == ItemKind::kState ? std::string("expected")
                                 : rule.parameter != nullptr   ? std::string("low, high or expected")
                                                               : std::string("low or high")) +
                                ")");
    }
  }
  if (rule.limit.low && rule.limit.high && *rule.limit.low > *rule.limit.high)
    throw bad_limit(path, rule.name + ": low " + number_text(*rule.limit.low) + " is above high " +
                              number_text(*rule.limit.high));
}

}  // namespace

Rules default_rules(const DriveTest& drive) {
  Rules rules;
  rules.push_back(non_negative("psb_link", "ms", std::nullopt, kLinkHighMs));
  rules.push_back(measure("battery", "V", kBatteryLowV, kBatteryHighV));
  rules.push_back(measure("current", "A", 0.0, kCurrentHighA));
  for (const char* place : kRangePlaces)
    rules.push_back(non_negative(std::string("range_") + place, "m", kRangeLowM, kRangeHighM));
  for (const char* device : kPsbDevices)
    rules.push_back({std::string("device_") + device, ItemKind::kState, "", {}, {"on", "off"}, nullptr});
  rules.push_back(non_negative("drvb_link", "ms", std::nullopt, kLinkHighMs));
  for (const char* name :
       {"bumper_left", "bumper_right", "emergency_stop", "wheel_error_left", "wheel_error_right"})
    rules.push_back(fixed(name));
  for (const Parameter& p : kParameters) {
    std::string name = p.name;
    std::replace(name.begin(), name.end(), '-', '_');
    ItemRule rule = measure(name, p.unit, std::nullopt, std::nullopt);
    rule.parameter = &p;
    rules.push_back(rule);
  }
  const double counts = drive.expected_counts();
  for (const char* wheel : {"drive_left", "drive_right"})
    rules.push_back(measure(wheel, "counts", std::floor(counts * (1 - DriveTest::kTolerance)),
                            std::ceil(counts * (1 + DriveTest::kTolerance))));
  return rules;
}

void apply_limits_file(Rules& rules, const std::string& path) {
  const Json limits = read_json_file("--limits", path);
  if (!limits.is_object())
    throw bad_limit(path, "must be a JSON object keyed by item name, such as {\"battery\": {\"low\": 11.5}}");
  for (const auto& [key, item_limits] : limits.items()) {
    const std::string& name = key;  // clang 14 cannot capture a structured binding in a lambda
    auto rule = std::find_if(rules.begin(), rules.end(), [&](const ItemRule& r) { return r.name == name; });
    if (rule == rules.end()) throw bad_limit(path, "unknown item '" + name + "'");
    apply_one(*rule, item_limits, path);
  }
}

const ItemRule& find_rule(const Rules& rules, const std::string& name) {
  for (const ItemRule& rule : rules) {
    if (rule.name == name) return rule;
  }
  throw std::logic_error("no check item " + name);
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  std::string out = text;
  out.erase(out.find_last_not_of('0') + 1);
  if (out.back() == '.') out.pop_back();
  return out == "-0" ? "0" : out;
}

std::string limit_text(const Limit& limit, const std::string& unit) {
  const std::string u = unit.empty() ? "" : " " + unit;
  if (limit.expected) return *limit.expected;
  if (limit.low && limit.high && *limit.low == *limit.high) return number_text(*limit.low) + u;
  if (limit.low && limit.high) return number_text(*limit.low) + " to " + number_text(*limit.high) + u;
  if (limit.low) return "at least " + number_text(*limit.low) + u;
  if (limit.high) return "at most " + number_text(*limit.high) + u;
  return "";
}

Item judge_number(const ItemRule& rule, double value) {
  Item item{rule.name, value, rule.unit, rule.limit, kPass, "", ""};
  const bool low = rule.limit.low && value < *rule.limit.low;
  const bool high = rule.limit.high && value > *rule.limit.high;
  if (low || high) {
    item.outcome = kFail;
    const double bound = low ? *rule.limit.low : *rule.limit.high;
    item.message = std::string(low ? "below " : "above ") + number_text(bound) +
                   (rule.unit.empty() ? "" : " " + rule.unit);
  }
  return item;
}

Item judge_state(const ItemRule& rule, const std::string& state) {
  Item item{rule.name, state, rule.unit, rule.limit, kPass, "", ""};
  if (rule.limit.expected && state != *rule.limit.expected) {
    item.outcome = kFail;
    item.message = "expected " + *rule.limit.expected;
  }
  return item;
}

Item judge_fixed(const ItemRule& rule, const std::string& value, const std::string& expected) {
  Limit limit;
  limit.expected = expected;
  Item item{rule.name, value, rule.unit, limit, kPass, "", ""};
  if (value != expected) {
    item.outcome = kFail;
    item.message = "expected " + expected;
  }
  return item;
}

Item not_measured(const ItemRule& rule, const std::string& why, const std::string& reason) {
  return {rule.name, nullptr, rule.unit, rule.limit, kError, why, reason};
}

}  // namespace tavik::cli
