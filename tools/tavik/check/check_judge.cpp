#include "check_judge.h"

#include <algorithm>
#include <cstdio>

#include "recording/recording_csv.h"

namespace tavik::cli {
Item failed_step(const ItemRule& rule, const std::string& step, Result result) {
  return not_measured(rule, step + " failed: " + describe(result), failure_row(result.failure).reason);
}

bool judged_again(const Item& item) { return item.outcome == kFail || item.outcome == kError; }

void CheckJudge::link(Board board, const BoardRead& read) {
  const std::string name = std::string(board_name(board)) + "_link";
  const ItemRule& rule = find_rule(rules_, name);
  const Json figures = read.figures.summary(0, 0);
  int failures = 0;
  std::string reasons;
  for (const auto& [why, n] : figures.at("failures").items()) {
    failures += n.get<int>();
    reasons += (reasons.empty() ? "" : ", ") + why + " " + std::to_string(n.get<int>());
  }
  if (!figures.contains("round_trip_ms")) {
    const auto& [step, result] = *read.failed.begin();
    add(failed_step(rule, step, result));
    return;
  }
  Item item = judge_number(rule, figures.at("round_trip_ms").at("median").get<double>());
  if (failures > 0) {
    item.outcome = kFail;
    item.marginal = false;
    item.message = std::to_string(failures) + " of " + std::to_string(figures.at("exchanges").get<int>()) +
                   " exchanges failed (" + reasons + ")" + (item.message.empty() ? "" : "; " + item.message);
  }
  add(item);
}

// The number at pointer in the reading, scaled, or ERROR naming the step.
void CheckJudge::number(const std::string& name, const BoardRead& read, const char* pointer, const char* step,
                        double scale) {
  const ItemRule& rule = find_rule(rules_, name);
  const Json::json_pointer at(pointer);
  if (read.reading.contains(at))
    add(judge_number(rule, read.reading.at(at).get<double>() * scale));
  else
    add(failed_step(rule, step, read.failed.at(step)));
}

void CheckJudge::timed(std::size_t from, double seconds, const std::string& ended) {
  for (std::size_t i = from; i < items_.size(); ++i) {
    items_[i].seconds = seconds;
    items_[i].measured = ended;
  }
}

void CheckJudge::psb(const BoardRead& read) {
  const std::size_t from = items_.size();
  link(Board::kPsb, read);
  number("battery", read, "/battery_mv", "read power data", 0.001);
  number("current", read, "/current_ma", "read power data", 0.001);
  for (std::size_t i = 0; i < std::size(recording::kRangePlaces); ++i)
    number(std::string("range_") + recording::kRangePlaces[i], read,
           ("/ranges_mm/" + std::to_string(i)).c_str(), "read ranges", 0.001);
  for (const char* device : recording::kPsbDevices) {
    const ItemRule& rule = find_rule(rules_, std::string("device_") + device);
    const Json::json_pointer at(std::string("/devices/") + device);
    if (read.reading.contains(at))
      add(judge_state(rule, read.reading.at(at).get<bool>() ? "on" : "off"));
    else
      add(failed_step(rule, "read power data", read.failed.at("read power data")));
  }
  timed(from, read.seconds, read.ended);
}

void CheckJudge::drvb(const BoardRead& read) {
  const std::size_t from = items_.size();
  link(Board::kDrvb, read);
  const auto state = [&](const std::string& name, const char* pointer, const char* step) {
    const ItemRule& rule = find_rule(rules_, name);
    const Json::json_pointer at(pointer);
    if (!read.reading.contains(at)) {
      add(failed_step(rule, step, read.failed.at(step)));
      return;
    }
    const Json& value = read.reading.at(at);
    if (value.is_boolean()) {
      add(judge_fixed(rule, value.get<bool>() ? "pressed" : "released", "released"));
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02x", value.get<unsigned>());
      add(judge_fixed(rule, hex, "0x00"));
    }
  };
  state("bumper_left", "/bumpers/left", "read bumpers");
  state("bumper_right", "/bumpers/right", "read bumpers");
  state("emergency_stop", "/emergency_stop", "read bumpers");
  state("wheel_error_left", "/wheel_errors/left", "read wheel errors");
  state("wheel_error_right", "/wheel_errors/right", "read wheel errors");
  timed(from, read.seconds, read.ended);
}

void CheckJudge::parameter(const Parameter& parameter, const Result& result, int value) {
  std::string name = parameter.name;
  std::replace(name.begin(), name.end(), '-', '_');
  if (result.is_ok()) {
    add(judge_number(find_rule(rules_, name), value));
    if (parameter.id == 0) max_velocity_ = value;
  } else {
    add(failed_step(find_rule(rules_, name), std::string("read ") + parameter.name, result));
  }
}

std::string CheckJudge::drive_blocked(int speed_mm_s) const {
  for (const Item& item : items_) {
    if (find_rule(rules_, item.name).kind == ItemKind::kFixed && item.outcome != kPass)
      return item.name + (item.value.is_null() ? " unknown" : " " + item.value.get<std::string>());
  }
  if (!max_velocity_) return "max_velocity unknown";
  if (speed_mm_s > *max_velocity_)
    return "--speed " + std::to_string(speed_mm_s) + " mm/s is above the board's max_velocity of " +
           std::to_string(*max_velocity_) + " mm/s";
  return "";
}

void CheckJudge::judged_again(CheckJudge later, int attempt) {
  for (Item& item : later.items_) {
    auto old = std::find_if(items_.begin(), items_.end(), [&](const Item& i) { return i.name == item.name; });
    if (old == items_.end() || !cli::judged_again(*old)) continue;
    item.attempts = attempt;
    item.seconds += old->seconds;
    item.earlier = std::move(old->earlier);
    item.earlier.push_back({std::move(old->value), old->outcome, old->message});
    *old = std::move(item);
  }
  if (later.max_velocity_) max_velocity_ = later.max_velocity_;
}

void CheckJudge::drive_not_measured(const std::string& why, const std::string& reason) {
  for (const char* wheel : {"drive_left", "drive_right"})
    add(not_measured(find_rule(rules_, wheel), why, reason));
}

void CheckJudge::drive_counts(int left, int right) {
  add(judge_number(find_rule(rules_, "drive_left"), left));
  add(judge_number(find_rule(rules_, "drive_right"), right));
}

}  // namespace tavik::cli
