// What tavik check reports: the run's record (who and what was checked,
// where, with what, when, and each item), as a table for people, one JSON
// record (docs/check-record.schema.json) and a JUnit XML file for a CI
// server (check_junit.cpp).
#pragma once

#include <string>
#include <vector>

#include "check_items.h"

namespace tavik::cli {

inline constexpr const char* kAborted = "ABORTED";

// A file saved beside the record (--attach): its role ("wire_trace",
// "record"), its path, and the SHA-256 of its bytes ("" while not yet known).
struct Attachment {
  std::string name;
  std::string file;
  std::string sha256;
};

struct Report {
  std::string dut;      // the device under test, "" when not given
  std::string station;  // "" when not given
  std::string operator_name;
  std::string started;  // UTC, ISO 8601
  std::string ended;
  std::string host;
  std::string tool_version;
  std::string library_version;
  int retries = 0;
  std::string limits_file;       // the --limits file's absolute path, "" for the defaults
  std::string limits_sha256;     // of its bytes as read
  double seconds = 0;            // from the start to the end
  std::string aborted;           // the stop request that ended the run ("SIGINT"), or ""
  Json boards = Json::object();  // per board: its port, what it led to, link figures
  std::vector<Item> items;
  std::vector<Attachment> attachments;

  // ABORTED when a stop request ended the run; else FAIL when an item
  // failed, ERROR when one could not be measured, else PASS.
  const char* outcome() const;
  int count(const char* outcome) const;
  int marginal() const;
};

Json report_json(const Report& report);
// One line per item and a verdict; PASS, FAIL, ERROR and SKIP in colour when asked.
std::string report_table(const Report& report, bool colour);
std::string report_junit(const Report& report);

// "11 V", "pressed", "-": an item's value as the reports show it.
std::string value_text(const Item& item);

}  // namespace tavik::cli
