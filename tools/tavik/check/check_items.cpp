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

ItemRule rule_of(std::string name, ItemKind kind, ItemSource source, std::string unit = "") {
  ItemRule rule;
  rule.name = std::move(name);
  rule.kind = kind;
  rule.unit = std::move(unit);
  rule.source = source;
  return rule;
}

ItemRule measure(std::string name, std::string unit, std::optional<double> low, std::optional<double> high,
                 ItemSource source = ItemSource::kPsb) {
  ItemRule rule = rule_of(std::move(name), ItemKind::kMeasure, source, std::move(unit));
  rule.limit.low = low;
  rule.limit.high = high;
  return rule;
}

// A measure that cannot be below 0.
ItemRule non_negative(std::string name, std::string unit, std::optional<double> low,
                      std::optional<double> high, ItemSource source = ItemSource::kPsb) {
  ItemRule rule = measure(std::move(name), std::move(unit), low, high, source);
  rule.never_negative = true;
  return rule;
}

ItemRule fixed(std::string name) { return rule_of(std::move(name), ItemKind::kFixed, ItemSource::kDrvb); }

ItemRule press(std::string name, const char* prompt) {
  ItemRule rule = rule_of(std::move(name), ItemKind::kPress, ItemSource::kPress);
  rule.limit.expected = kPressedAndReleased;
  rule.prompt = prompt;
  return rule;
}

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
  if (rule.kind == ItemKind::kFixed || rule.kind == ItemKind::kPress)
    throw bad_limit(path, rule.name + " takes no limits: it must always read " +
                              (rule.kind == ItemKind::kPress            ? kPressedAndReleased
                               : rule.name.rfind("wheel_error", 0) == 0 ? "0x00"
                                                                        : "released"));
  for (const auto& [key, value] : limits.items()) {
    const std::string where = rule.name + "." + key;
    if (rule.kind == ItemKind::kMeasure && (key == "low" || key == "high")) {
      const std::optional<double> bound = number_of(value, path, where);
      if (bound && rule.never_negative && *bound < 0)
        throw bad_limit(path, where + " must not be negative, not " + value.dump());
      (key == "low" ? rule.limit.low : rule.limit.high) = bound;
    } else if (rule.kind == ItemKind::kMeasure && (key == "marginal_low" || key == "marginal_high")) {
      (key == "marginal_low" ? rule.limit.marginal_low : rule.limit.marginal_high) =
          number_of(value, path, where);
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
                                 : rule.parameter != nullptr
                                     ? std::string("low, high, marginal_low, marginal_high or expected")
                                     : std::string("low, high, marginal_low or marginal_high")) +
                                ")");
    }
  }
  if (rule.limit.low && rule.limit.high && *rule.limit.low > *rule.limit.high)
    throw bad_limit(path, rule.name + ": low " + number_text(*rule.limit.low) + " is above high " +
                              number_text(*rule.limit.high));
  // The marginal band lies within the limits: a value outside it but inside them passes, marked.
  const Limit& l = rule.limit;
  for (const auto& [name, marginal] :
       {std::pair{"marginal_low", l.marginal_low}, {"marginal_high", l.marginal_high}}) {
    if (marginal && ((l.low && *marginal < *l.low) || (l.high && *marginal > *l.high)))
      throw bad_limit(path, rule.name + "." + name + " " + number_text(*marginal) +
                                " is outside the limits (" + limit_text(l, rule.unit) + ")");
  }
  if (l.marginal_low && l.marginal_high && *l.marginal_low > *l.marginal_high)
    throw bad_limit(path, rule.name + ": marginal_low " + number_text(*l.marginal_low) +
                              " is above marginal_high " + number_text(*l.marginal_high));
}

}  // namespace

Rules default_rules(const DriveTest& drive) {
  Rules rules;
  rules.push_back(non_negative("psb_link", "ms", std::nullopt, kLinkHighMs));
  rules.push_back(measure("battery", "V", kBatteryLowV, kBatteryHighV));
  rules.push_back(measure("current", "A", 0.0, kCurrentHighA));
  for (const char* place : kRangePlaces)
    rules.push_back(non_negative(std::string("range_") + place, "m", kRangeLowM, kRangeHighM));
  for (const char* device : kPsbDevices) {
    ItemRule rule = rule_of(std::string("device_") + device, ItemKind::kState, ItemSource::kPsb);
    rule.states = {"on", "off"};
    rules.push_back(rule);
  }
  rules.push_back(non_negative("drvb_link", "ms", std::nullopt, kLinkHighMs, ItemSource::kDrvb));
  for (const char* name :
       {"bumper_left", "bumper_right", "emergency_stop", "wheel_error_left", "wheel_error_right"})
    rules.push_back(fixed(name));
  rules.push_back(press("bumper_left_press", "Press the left bumper"));
  rules.push_back(press("bumper_right_press", "Press the right bumper"));
  rules.push_back(press("emergency_stop_press", "Press the emergency stop"));
  for (const Parameter& p : kParameters) {
    std::string name = p.name;
    std::replace(name.begin(), name.end(), '-', '_');
    ItemRule rule = measure(name, p.unit, std::nullopt, std::nullopt, ItemSource::kParameter);
    rule.parameter = &p;
    rules.push_back(rule);
  }
  const double counts = drive.expected_counts();
  for (const char* wheel : {"drive_left", "drive_right"})
    rules.push_back(measure(wheel, "counts", std::floor(counts * (1 - DriveTest::kTolerance)),
                            std::ceil(counts * (1 + DriveTest::kTolerance)), ItemSource::kDrive));
  return rules;
}

std::string apply_limits_file(Rules& rules, const std::string& path) {
  std::string text;
  const Json limits = read_json_file("--limits", path, &text);
  if (!limits.is_object())
    throw bad_limit(path, "must be a JSON object keyed by item name, such as {\"battery\": {\"low\": 11.5}}");
  for (const auto& [key, item_limits] : limits.items()) {
    const std::string& name = key;  // clang 14 cannot capture a structured binding in a lambda
    auto rule = std::find_if(rules.begin(), rules.end(), [&](const ItemRule& r) { return r.name == name; });
    if (rule == rules.end()) throw bad_limit(path, "unknown item '" + name + "'");
    apply_one(*rule, item_limits, path);
  }
  return text;
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

namespace {

Item judged(const ItemRule& rule, Json value, const Limit& limit) {
  Item item;
  item.name = rule.name;
  item.value = std::move(value);
  item.unit = rule.unit;
  item.limit = limit;
  item.outcome = kPass;
  return item;
}

}  // namespace

Item judge_number(const ItemRule& rule, double value) {
  Item item = judged(rule, value, rule.limit);
  const std::string unit = rule.unit.empty() ? "" : " " + rule.unit;
  const Limit& l = rule.limit;
  const bool low = l.low && value < *l.low;
  const bool high = l.high && value > *l.high;
  if (low || high) {
    item.outcome = kFail;
    item.message = std::string(low ? "below " : "above ") + number_text(low ? *l.low : *l.high) + unit;
  } else if ((l.marginal_low && value < *l.marginal_low) || (l.marginal_high && value > *l.marginal_high)) {
    item.marginal = true;
    const bool below = l.marginal_low && value < *l.marginal_low;
    item.message = std::string("marginal: ") + (below ? "below " : "above ") +
                   number_text(below ? *l.marginal_low : *l.marginal_high) + unit;
  }
  return item;
}

Item judge_state(const ItemRule& rule, const std::string& state) {
  Item item = judged(rule, state, rule.limit);
  if (rule.limit.expected && state != *rule.limit.expected) {
    item.outcome = kFail;
    item.message = "expected " + *rule.limit.expected;
  }
  return item;
}

Item judge_fixed(const ItemRule& rule, const std::string& value, const std::string& expected) {
  Limit limit;
  limit.expected = expected;
  Item item = judged(rule, value, limit);
  if (value != expected) {
    item.outcome = kFail;
    item.message = "expected " + expected;
  }
  return item;
}

Item not_measured(const ItemRule& rule, const std::string& why, const std::string& reason) {
  Item item = judged(rule, nullptr, rule.limit);
  item.outcome = kError;
  item.message = why;
  item.reason = reason;
  return item;
}

Item skipped(const ItemRule& rule, const std::string& why) {
  Item item = judged(rule, nullptr, rule.limit);
  item.outcome = kSkip;
  item.message = why;
  return item;
}

Item judge_press(const ItemRule& rule, const std::string& seen, const std::string& why) {
  Item item = judged(rule, seen, rule.limit);
  if (seen != kPressedAndReleased) {
    item.outcome = kFail;
    item.message = why;
  }
  return item;
}

}  // namespace tavik::cli
