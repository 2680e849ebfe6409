#include "check_report.h"

#include <algorithm>
#include <cstdio>

namespace tavik::cli {
namespace {

int count(const Report& report, const char* outcome) {
  return static_cast<int>(std::count_if(report.items.begin(), report.items.end(),
                                        [&](const Item& item) { return item.outcome == outcome; }));
}

std::string value_text(const Item& item) {
  if (item.value.is_null()) return "-";
  if (item.value.is_number())
    return number_text(item.value.get<double>()) + (item.unit.empty() ? "" : " " + item.unit);
  return item.value.get<std::string>();
}

std::string painted(const std::string& outcome, bool colour) {
  if (!colour) return outcome;
  const char* code = outcome == kPass ? "32" : outcome == kFail ? "31" : "33";
  return std::string("\033[") + code + "m" + outcome + "\033[0m";
}

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string xml_escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // XML 1.0 takes no control characters but tab and newline.
        out += (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') ? '?' : c;
    }
  }
  return out;
}

std::string attribute(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + xml_escaped(value) + "\"";
}

}  // namespace

const char* Report::outcome() const {
  for (const Item& item : items) {
    if (item.outcome != kPass) return kFail;
  }
  return kPass;
}

Json report_json(const Report& report) {
  Json items = Json::array();
  for (const Item& item : report.items) {
    Json record{{"name", item.name}, {"value", item.value}, {"unit", item.unit}};
    record["low"] = item.limit.low ? Json(*item.limit.low) : Json(nullptr);
    record["high"] = item.limit.high ? Json(*item.limit.high) : Json(nullptr);
    if (item.limit.expected) record["expected"] = *item.limit.expected;
    record["outcome"] = item.outcome;
    if (!item.reason.empty()) record["reason"] = item.reason;
    if (!item.message.empty()) record["message"] = item.message;
    items.push_back(record);
  }
  return Json{{"outcome", report.outcome()},
              {"started", report.started},
              {"ended", report.ended},
              {"host", report.host},
              {"tool_version", report.tool_version},
              {"boards", report.boards},
              {"items", items}};
}

std::string report_table(const Report& report, bool colour) {
  std::string out =
      "check: " + report.host + ", tavik " + report.tool_version + ", started " + report.started + "\n";
  for (const Item& item : report.items) {
    const std::string limits = limit_text(item.limit, item.unit);
    std::string line = painted(padded(item.outcome, 6), colour) + padded(item.name, 19) +
                       padded(value_text(item), 13) + limits;
    if (!item.message.empty()) line += (limits.empty() ? "" : "  ") + std::string("(") + item.message + ")";
    line.erase(line.find_last_not_of(' ') + 1);
    out += line + "\n";
  }
  const int passed = count(report, kPass);
  const int failed = count(report, kFail);
  const int errors = count(report, kError);
  out += "check: " + painted(report.outcome(), colour) + ", " + std::to_string(report.items.size()) +
         " items: " + std::to_string(passed) + " passed, " + std::to_string(failed) + " failed, " +
         std::to_string(errors) + (errors == 1 ? " error" : " errors") + "\n";
  return out;
}

std::string report_junit(const Report& report) {
  const std::string counts = attribute("tests", std::to_string(report.items.size())) +
                             attribute("failures", std::to_string(count(report, kFail))) +
                             attribute("errors", std::to_string(count(report, kError)));
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" +
                    attribute("name", "tavik check") + counts + ">\n  <testsuite" +
                    attribute("name", "tavik check") + counts + attribute("hostname", report.host) +
                    attribute("timestamp", report.started) + ">\n";
  out += "    <properties>\n";
  const auto property = [&](const std::string& name, const std::string& value) {
    out += "      <property" + attribute("name", name) + attribute("value", value) + "/>\n";
  };
  property("tool_version", report.tool_version);
  property("ended", report.ended);
  for (const auto& [board, figures] : report.boards.items())
    property(board + "_port", figures.value("port", ""));
  out += "    </properties>\n";
  for (const Item& item : report.items) {
    out += "    <testcase" + attribute("classname", "tavik.check") + attribute("name", item.name);
    if (item.outcome == kPass) {
      out += "/>\n";
      continue;
    }
    const std::string limits = limit_text(item.limit, item.unit);
    const std::string message = item.outcome == kFail
                                    ? value_text(item) + (limits.empty() ? "" : ", limits " + limits)
                                    : item.message;
    out += ">\n      <" + std::string(item.outcome == kFail ? "failure" : "error") +
           attribute("message", message) + attribute("type", item.outcome == kFail ? "limit" : item.reason) +
           ">" + xml_escaped(item.message) + "</" + (item.outcome == kFail ? "failure" : "error") +
           ">\n    </testcase>\n";
  }
  out += "  </testsuite>\n</testsuites>\n";
  return out;
}

}  // namespace tavik::cli
