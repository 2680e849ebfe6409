// tavik check's JUnit XML file, as Jenkins and GitLab read it: one suite
// whose properties name the robot, the station, the versions, the ports
// and the times; one testcase per item, whose properties carry the
// measurement (value, unit, limits, marginal limits, outcome, attempts);
// a failure, an error or a skip with the reason; the attachments named in
// the suite's system-out in the form Jenkins' attachments plugin reads.
#include <cstdio>

#include "check_report.h"

namespace tavik::cli {
namespace {

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

// Seconds as JUnit readers take them: "0.004".
std::string junit_seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

std::string attribute(const char* name, const std::string& value) {
  return std::string(" ") + name + "=\"" + xml_escaped(value) + "\"";
}

// A property's value: a JSON scalar as text, "" for none.
std::string property_text(const Json& value) {
  if (value.is_null()) return "";
  if (value.is_string()) return value.get<std::string>();
  return value.dump();
}

std::string properties(const Json& record, const char* indent) {
  std::string out = std::string(indent) + "<properties>\n";
  for (const auto& [name, value] : record.items())
    out += std::string(indent) + "  <property" + attribute("name", name) +
           attribute("value", property_text(value)) + "/>\n";
  return out + indent + "</properties>\n";
}

}  // namespace

std::string report_junit(const Report& report) {
  const Json record = report_json(report);
  const std::string counts = attribute("tests", std::to_string(report.items.size())) +
                             attribute("failures", std::to_string(report.count(kFail))) +
                             attribute("errors", std::to_string(report.count(kError))) +
                             attribute("skipped", std::to_string(report.count(kSkip)));
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + attribute("name", "tavik check") + counts +
      ">\n  <testsuite" + attribute("name", "tavik check") + counts + attribute("hostname", report.host) +
      attribute("timestamp", report.started) + attribute("time", junit_seconds(report.seconds)) + ">\n";
  Json suite{{"outcome", record.at("outcome")},
             {"dut", record.at("dut")},
             {"station", record.at("station")},
             {"operator", record.at("operator")},
             {"started", report.started},
             {"ended", report.ended},
             {"tool_version", report.tool_version},
             {"library_version", report.library_version},
             {"retries", report.retries}};
  if (!report.limits_file.empty()) {
    suite["limits_file"] = report.limits_file;
    suite["limits_sha256"] = report.limits_sha256;
  }
  for (const auto& [board, figures] : report.boards.items()) {
    suite[board + "_port"] = figures.value("port", "");
    suite[board + "_target"] = figures.value("target", "");
    if (figures.contains("error")) suite[board + "_error"] = figures.at("error");
  }
  for (const Attachment& a : report.attachments) {
    suite["attachment_" + a.name] = a.file;
    if (!a.sha256.empty()) suite["attachment_" + a.name + "_sha256"] = a.sha256;
  }
  out += properties(suite, "    ");
  for (std::size_t i = 0; i < report.items.size(); ++i) {
    const Item& item = report.items[i];
    out += "    <testcase" + attribute("classname", "tavik.check") + attribute("name", item.name) +
           attribute("time", junit_seconds(item.seconds)) + ">\n";
    Json measured = record.at("items").at(i);
    measured.erase("name");
    measured.erase("message");
    out += properties(measured, "      ");
    if (item.outcome == kFail) {
      const std::string limits = limit_text(item.limit, item.unit);
      out += "      <failure" +
             attribute("message", value_text(item) + (limits.empty() ? "" : ", limits " + limits)) +
             attribute("type", "limit") + ">" + xml_escaped(item.message) + "</failure>\n";
    } else if (item.outcome == kError) {
      out += "      <error" + attribute("message", item.message) + attribute("type", item.reason) + ">" +
             xml_escaped(item.message) + "</error>\n";
    } else if (item.outcome == kSkip) {
      out += "      <skipped" + attribute("message", item.message) + "/>\n";
    }
    out += "    </testcase>\n";
  }
  if (!report.attachments.empty()) {
    out += "    <system-out>";
    for (const Attachment& a : report.attachments) out += "[[ATTACHMENT|" + xml_escaped(a.file) + "]]\n";
    out += "</system-out>\n";
  }
  out += "  </testsuite>\n</testsuites>\n";
  return out;
}

}  // namespace tavik::cli
