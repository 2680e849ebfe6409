#include "check_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavik::cli {
namespace {

std::string painted(const std::string& outcome, bool colour) {
  if (!colour) return outcome;
  const char* code = outcome == kPass ? "32" : outcome == kFail ? "31" : outcome == kSkip ? "36" : "33";
  return std::string("\033[") + code + "m" + outcome + "\033[0m";
}

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

Json optional_number(const std::optional<double>& value) { return value ? Json(*value) : Json(nullptr); }

Json optional_text(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

}  // namespace

std::string value_text(const Item& item) {
  if (item.value.is_null()) return "-";
  if (item.value.is_number())
    return number_text(item.value.get<double>()) + (item.unit.empty() ? "" : " " + item.unit);
  return item.value.get<std::string>();
}

int Report::count(const char* outcome) const {
  return static_cast<int>(
      std::count_if(items.begin(), items.end(), [&](const Item& item) { return item.outcome == outcome; }));
}

int Report::marginal() const {
  return static_cast<int>(
      std::count_if(items.begin(), items.end(), [](const Item& item) { return item.marginal; }));
}

const char* Report::outcome() const {
  if (!aborted.empty()) return kAborted;
  if (count(kFail) > 0) return kFail;
  if (count(kError) > 0) return kError;
  return kPass;
}

Json report_json(const Report& report) {
  Json items = Json::array();
  for (const Item& item : report.items) {
    Json record{{"name", item.name}, {"value", item.value}, {"unit", item.unit}};
    record["low"] = optional_number(item.limit.low);
    record["high"] = optional_number(item.limit.high);
    record["marginal_low"] = optional_number(item.limit.marginal_low);
    record["marginal_high"] = optional_number(item.limit.marginal_high);
    if (item.limit.expected) record["expected"] = *item.limit.expected;
    record["outcome"] = item.outcome;
    record["marginal"] = item.marginal;
    record["attempts"] = item.attempts;
    if (!item.reason.empty()) record["reason"] = item.reason;
    if (!item.message.empty()) record["message"] = item.message;
    record["seconds"] = std::round(item.seconds * 1000) / 1000;
    record["measured"] = optional_text(item.measured);
    if (!item.earlier.empty()) {
      Json earlier = Json::array();
      for (const Item::Earlier& e : item.earlier) {
        Json attempt{{"value", e.value}, {"outcome", e.outcome}};
        if (!e.message.empty()) attempt["message"] = e.message;
        earlier.push_back(attempt);
      }
      record["earlier_attempts"] = earlier;
    }
    items.push_back(record);
  }
  Json attachments = Json::array();
  for (const Attachment& a : report.attachments) {
    Json attachment{{"name", a.name}, {"file", a.file}};
    if (!a.sha256.empty()) attachment["sha256"] = a.sha256;
    attachments.push_back(attachment);
  }
  Json record{{"outcome", report.outcome()},
              {"dut", optional_text(report.dut)},
              {"station", optional_text(report.station)},
              {"operator", optional_text(report.operator_name)},
              {"started", report.started},
              {"ended", report.ended},
              {"host", report.host},
              {"tool_version", report.tool_version},
              {"library_version", report.library_version},
              {"retries", report.retries},
              {"limits", report.limits_file.empty()
                             ? Json(nullptr)
                             : Json{{"file", report.limits_file}, {"sha256", report.limits_sha256}}},
              {"boards", report.boards},
              {"summary",
               {{"items", report.items.size()},
                {"passed", report.count(kPass)},
                {"marginal", report.marginal()},
                {"failed", report.count(kFail)},
                {"errors", report.count(kError)},
                {"skipped", report.count(kSkip)}}},
              {"items", items},
              {"attachments", attachments}};
  if (!report.aborted.empty()) record["aborted"] = report.aborted;
  return record;
}

std::string report_table(const Report& report, bool colour) {
  std::string out = "check: ";
  if (!report.dut.empty()) out += "dut " + report.dut + ", ";
  if (!report.station.empty()) out += "station " + report.station + ", ";
  out += report.host + ", tavik " + report.tool_version + ", started " + report.started + "\n";
  for (const Item& item : report.items) {
    const std::string limits = limit_text(item.limit, item.unit);
    std::string line = painted(padded(item.outcome, 6), colour) + padded(item.name, 21) +
                       padded(value_text(item), 13) + limits;
    std::string why = item.message;
    if (item.attempts > 1) why += (why.empty() ? "" : "; ") + std::to_string(item.attempts) + " attempts";
    if (!why.empty()) line += (limits.empty() ? "" : "  ") + std::string("(") + why + ")";
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + "\n";
  }
  const int errors = report.count(kError);
  const int skipped = report.count(kSkip);
  const int marginal = report.marginal();
  out += "check: " + painted(report.outcome(), colour) + ", " + std::to_string(report.items.size()) +
         " items: " + std::to_string(report.count(kPass)) + " passed" +
         (marginal > 0 ? " (" + std::to_string(marginal) + " marginal)" : "") + ", " +
         std::to_string(report.count(kFail)) + " failed, " + std::to_string(errors) +
         (errors == 1 ? " error" : " errors") +
         (skipped > 0 ? ", " + std::to_string(skipped) + " skipped" : "") +
         (report.aborted.empty() ? "" : "; aborted by " + report.aborted) + "\n";
  for (const Attachment& a : report.attachments)
    out += "check: " + a.name + " " + a.file + (a.sha256.empty() ? "" : " sha256 " + a.sha256) + "\n";
  return out;
}

}  // namespace tavik::cli
