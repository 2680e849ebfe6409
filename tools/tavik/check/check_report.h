// What tavik check reports: a table for people, one JSON record, a JUnit
// XML file for a CI server (one testcase per item).
#pragma once

#include <string>
#include <vector>

#include "check_items.h"

namespace tavik::cli {

struct Report {
  std::string started;  // UTC, ISO 8601
  std::string ended;
  std::string host;
  std::string tool_version;
  Json boards = Json::object();  // per board: its port and link figures
  std::vector<Item> items;

  // PASS when every item passed, else FAIL.
  const char* outcome() const;
};

// {"outcome", "started", "ended", "host", "tool_version", "boards", "items"}
Json report_json(const Report& report);
// One line per item and a verdict; PASS, FAIL and ERROR in colour when asked.
std::string report_table(const Report& report, bool colour);
std::string report_junit(const Report& report);

}  // namespace tavik::cli
